// The view: the whole client area of the main window is one embedded browser showing one of
// the program's three pages (stamp details, settings, about), filled with the document's
// values after loading; form submissions are caught and handled here.
#pragma once

#include "doc/DocView.h"

#include <QUrl>
#include <QWebEngineView>

class CZarnDoc;

class CZarnView : public QWebEngineView, public CView {
    Q_OBJECT

public:
    explicit CZarnView(QWidget* parent = nullptr);
    ~CZarnView() override;

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

signals:
    // A page has loaded and been filled (`url` is the page's URL); tests wait on it.
    void pageFilled(const QUrl& url);

private:
    QString m_strUrl;
    bool m_bShowDefaults = false;
};
