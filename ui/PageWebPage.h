// The browser page of the view, locked to the program's own pages: a link to anything else
// opens in the desktop's browser and the view stays where it is.
#pragma once

#include <QUrl>
#include <QWebEnginePage>

#include <functional>

class CPageWebPage : public QWebEnginePage {
    Q_OBJECT

public:
    CPageWebPage(QWebEngineProfile* profile, QObject* parent);

    // Hands `url` to the desktop (its browser, or the viewer of a local file's type).
    // Answers whether the desktop took it.
    [[nodiscard]] static bool OpenWithDesktop(const QUrl& url);
    // Tests replace the desktop; an empty function restores it.
    using DesktopOpener = std::function<bool(const QUrl&)>;
    static void SetDesktopOpener(DesktopOpener opener);

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;
    QWebEnginePage* createWindow(WebWindowType type) override;
};
