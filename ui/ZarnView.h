// The view: the whole client area of the main window is one embedded browser showing one of
// the program's three pages (stamp details, settings, about), filled with the document's
// values after loading; form submissions are caught and handled here.
#pragma once

#include "document/DocView.h"

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <QWebEngineView>

#include <memory>
#include <string>

class CZarnDoc;
class CPageBridge;
class CPageWebPage;
class PageInputs;
class QPrinter;
class QWebChannel;
class QWebEngineLoadingInfo;

class CZarnView : public QWebEngineView, public CView {
    Q_OBJECT

public:
    explicit CZarnView(QWidget* parent = nullptr);
    ~CZarnView() override;

    // Registers the pages' URL scheme with the browser engine. Call it before the
    // QApplication is constructed.
    static void RegisterPageScheme();

    CZarnDoc* GetZarnDoc() const;

    // The first display, once the document, the frame and its list panel exist: the stamp
    // page is requested, the list panel filled and its current row selected, and the about
    // page shown when the document shows no stamp.
    void OnInitialUpdate();
    // The document changed: the stamp details page is loaded anew.
    void OnUpdate(CView* sender, long hint) override;
    // 57607 print with dialog, 57608 print without dialog, 57609 print preview,
    // 57664 about page, 32771 settings page.
    bool OnCommand(unsigned id) override;

    void ShowStampPage();
    void ShowAboutPage();
    void ShowSettingsPage();

    // The URL of the last page the program asked for.
    const QString& CurrentPageUrl() const { return m_strUrl; }
    // The URL of the page `name` ("certif.htm").
    static QUrl ResourceUrl(const QString& name);

    // Writes the document's TSA certificate to a temporary file, hands it to the desktop's
    // viewer and deletes the file a second later.
    void ShowTsaCertificate();

    // Swallows the right mouse button and F5 before the browser sees them.
    bool eventFilter(QObject* watched, QEvent* event) override;

    // Tests: print "without a dialog" goes to this PDF file instead of the default printer
    // (empty: the default printer again).
    static void SetPrintToPdfForTests(const QString& path);

signals:
    // A page has loaded and been filled (`url` is the page's URL); tests wait on it.
    void pageFilled(const QUrl& url);
    // A form was submitted with this encoded body, before the program handled it.
    void formSubmitted(const QUrl& url, const QByteArray& body);

private:
    void Navigate(const QString& name);
    void OnLoadingChanged(const QWebEngineLoadingInfo& info);
    bool OnFormSubmit(const QString& url, const QByteArray& body, const PageInputs* inputs);
    // A printer at the resolution the view prints with; null while a print is running.
    std::unique_ptr<QPrinter> NewPrinter();
    void PrintWithDialog();
    void PrintDirect();
    void PrintPreview();
    void StartPrint(std::unique_ptr<QPrinter> printer);
    void WatchWidget(QObject* object);

    QString m_strUrl;
    bool m_bShowDefaults = false;
    CPageWebPage* m_pPage = nullptr;
    CPageBridge* m_pBridge = nullptr;
    QWebChannel* m_pChannel = nullptr;
    std::unique_ptr<QPrinter> m_pPrinter; // the running print's
};
