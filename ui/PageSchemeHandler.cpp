#include "ui/PageSchemeHandler.h"

#include <QBuffer>
#include <QFile>
#include <QRegularExpression>
#include <QWebEngineProfile>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>

QByteArray CPageSchemeHandler::Scheme() {
    return QByteArrayLiteral("mivo");
}

QString CPageSchemeHandler::Host() {
    return QStringLiteral("app");
}

QUrl CPageSchemeHandler::PageUrl(const QString& name) {
    QUrl url;
    url.setScheme(QString::fromLatin1(Scheme()));
    url.setHost(Host());
    url.setPath(QLatin1Char('/') + name);
    return url;
}

bool CPageSchemeHandler::IsOwnUrl(const QUrl& url) {
    return url.scheme() == QLatin1String(Scheme()) && url.host() == Host();
}

void CPageSchemeHandler::RegisterScheme() {
    static bool registered = false;
    if (registered)
        return;
    registered = true;
    QWebEngineUrlScheme scheme(Scheme());
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::Host);
    scheme.setDefaultPort(QWebEngineUrlScheme::PortUnspecified);
    // Secure: the pages are ours, never fetched over a network.
    scheme.setFlags(QWebEngineUrlScheme::SecureScheme);
    QWebEngineUrlScheme::registerScheme(scheme);
}

void CPageSchemeHandler::InstallOn(QWebEngineProfile* profile) {
    if (profile->urlSchemeHandler(Scheme()) != nullptr)
        return;
    profile->installUrlSchemeHandler(Scheme(), new CPageSchemeHandler(profile));
}

QString CPageSchemeHandler::ResourcePath(const QString& urlPath) {
    // One plain file name below the root: no folders, no dot segments.
    static const QRegularExpression name(QStringLiteral("^/([A-Za-z0-9_-]+\\.[A-Za-z0-9]+)$"));
    const QRegularExpressionMatch match = name.match(urlPath);
    if (!match.hasMatch())
        return {};
    const QString path = QStringLiteral(":/pages/") + match.captured(1);
    return QFile::exists(path) ? path : QString();
}

QByteArray CPageSchemeHandler::ContentType(const QString& resourcePath) {
    if (resourcePath.endsWith(QLatin1String(".htm")) ||
        resourcePath.endsWith(QLatin1String(".html")))
        return QByteArrayLiteral("text/html");
    if (resourcePath.endsWith(QLatin1String(".css")))
        return QByteArrayLiteral("text/css");
    if (resourcePath.endsWith(QLatin1String(".gif")))
        return QByteArrayLiteral("image/gif");
    if (resourcePath.endsWith(QLatin1String(".png")))
        return QByteArrayLiteral("image/png");
    if (resourcePath.endsWith(QLatin1String(".js")))
        return QByteArrayLiteral("text/javascript");
    return QByteArrayLiteral("application/octet-stream");
}

void CPageSchemeHandler::requestStarted(QWebEngineUrlRequestJob* job) {
    const QUrl url = job->requestUrl();
    const QString path = url.host() == Host() ? ResourcePath(url.path()) : QString();
    if (path.isEmpty()) {
        job->fail(QWebEngineUrlRequestJob::UrlNotFound);
        return;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        job->fail(QWebEngineUrlRequestJob::RequestFailed);
        return;
    }
    // A form post to a page is answered with the page itself: the program reads the form
    // before the browser sends it.
    auto* buffer = new QBuffer(job);
    buffer->setData(file.readAll());
    buffer->open(QIODevice::ReadOnly);
    job->reply(ContentType(path), buffer);
}
