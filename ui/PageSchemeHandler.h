// The program's own pages, served from its resources under URLs of a scheme of ours
// ("mivo://app/certif.htm"), so that the page paths are "/certif.htm", "/config.htm" and
// "/about.htm" and the style sheet and images resolve relative to them.
#pragma once

#include <QString>
#include <QUrl>
#include <QWebEngineUrlSchemeHandler>

class QWebEngineProfile;

class CPageSchemeHandler : public QWebEngineUrlSchemeHandler {
    Q_OBJECT

public:
    using QWebEngineUrlSchemeHandler::QWebEngineUrlSchemeHandler;

    // The scheme and host of the page URLs.
    static QByteArray Scheme();
    static QString Host();
    // The URL of the page `name` ("certif.htm").
    static QUrl PageUrl(const QString& name);
    // A URL that one of our pages may load.
    static bool IsOwnUrl(const QUrl& url);

    // Registers the scheme with the browser engine. Must run before the QApplication is
    // constructed; later calls do nothing.
    static void RegisterScheme();
    // Installs the handler on `profile` once.
    static void InstallOn(QWebEngineProfile* profile);

    // The resource path of a URL path ("/olu.css" -> ":/pages/olu.css"); empty when it
    // names no file of ours.
    static QString ResourcePath(const QString& urlPath);
    // The content type of a resource by its extension.
    static QByteArray ContentType(const QString& resourcePath);

    void requestStarted(QWebEngineUrlRequestJob* job) override;
};
