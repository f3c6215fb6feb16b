#include "ui/PageWebPage.h"

#include "ui/PageSchemeHandler.h"

#include <QDesktopServices>

namespace {

CPageWebPage::DesktopOpener& Opener() {
    static CPageWebPage::DesktopOpener opener;
    return opener;
}

bool MayShow(const QUrl& url) {
    return CPageSchemeHandler::IsOwnUrl(url) || url == QUrl(QStringLiteral("about:blank"));
}

// The page behind a link that asks for a new window: its first navigation goes to the
// desktop, then it goes away.
class CExternalLinkPage : public QWebEnginePage {
public:
    CExternalLinkPage(QWebEngineProfile* profile, QObject* parent)
        : QWebEnginePage(profile, parent) {}

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType, bool) override {
        // A link the desktop does not take leads nowhere; the page stays as it is.
        if (!MayShow(url))
            (void)CPageWebPage::OpenWithDesktop(url);
        deleteLater();
        return false;
    }
};

} // namespace

CPageWebPage::CPageWebPage(QWebEngineProfile* profile, QObject* parent)
    : QWebEnginePage(profile, parent) {}

bool CPageWebPage::OpenWithDesktop(const QUrl& url) {
    if (Opener())
        return Opener()(url);
    return QDesktopServices::openUrl(url);
}

void CPageWebPage::SetDesktopOpener(DesktopOpener opener) {
    Opener() = std::move(opener);
}

bool CPageWebPage::acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) {
    if (MayShow(url))
        return QWebEnginePage::acceptNavigationRequest(url, type, isMainFrame);
    // Only what the user followed goes out; a page's own requests for other places stop here.
    if (type == NavigationTypeLinkClicked)
        (void)OpenWithDesktop(url);
    return false;
}

QWebEnginePage* CPageWebPage::createWindow(WebWindowType) {
    return new CExternalLinkPage(profile(), this);
}
