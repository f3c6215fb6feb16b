// The main window: menu bar, toolbar, status bar with the command prompts and key-state
// indicators, the stamp list docked on the left and the HTML view as its client area.
// Every command carries its id as its action's data and is routed view → document →
// frame → application.
#pragma once

#include <QMainWindow>
#include <QPointer>

#include <functional>
#include <map>

class CStampListBar;
class CTlUpdater;
class CZarnDoc;
class CZarnView;
class QLabel;
class QMenu;
class QProgressBar;
class QToolBar;

class CMainFrame : public QMainWindow {
    Q_OBJECT

public:
    // Control ids of the bars.
    enum : unsigned {
        AFX_IDW_TOOLBAR = 59392,
        AFX_IDW_STATUS_BAR = 59393,
        AFX_IDW_REBAR = 59396,
        IDC_STAMP_LIST_BAR = 101,
    };

    explicit CMainFrame(QWidget* parent = nullptr);
    // Deletes the process-wide settings: they live as long as the main window.
    ~CMainFrame() override;

    // Builds the menu, the accelerators, the toolbar, the status bar, the list panel docked
    // on the left and the view. False when a part cannot be made.
    [[nodiscard]] bool OnCreate();

    // The document of the view and the list panel; the window title follows its title.
    void SetDocument(CZarnDoc* document);
    // The last stop of the command routing (help, exit).
    void SetAppCommandHandler(std::function<bool(unsigned)> handler) {
        m_appCommand = std::move(handler);
    }

    // Routes `id` to the view, the document, the frame and the application in this order;
    // true when one of them handled it.
    bool OnCommand(unsigned id);
    // The frame's own commands: 32774 (list panel), the toolbar and status bar toggles,
    // 61920 (check every listed stamp) and 61980 (update the EU trusted lists).
    bool OnFrameCommand(unsigned id);
    // Shows the list panel when it is hidden, hides it when it is shown.
    void OnViewStampList();
    // Brings the check marks of the toggles up to date with the bars.
    void UpdateCommandUI();
    // "MIVO klient", preceded by the document's title when it has one.
    void UpdateFrameTitle();
    // Reads the keyboard's lock lights into the indicators.
    void UpdateIndicators();

    // The menu's action for `id`; the toolbar's own for the print button (57608).
    QAction* Action(unsigned id) const;
    CZarnView* View() const { return m_pView; }
    CStampListBar* ListBar() const { return m_pListBar; }
    // The updater of the EU trusted lists (command 61980), made at first use.
    CTlUpdater* TlUpdater();
    QToolBar* ToolBar() const { return m_pToolBar; }
    QLabel* Indicator(unsigned id) const;
    // The message pane's idle text.
    QLabel* IdlePane() const { return m_pIdlePane; }
    // The status bar's progress of the list's background work; hidden while none runs.
    QProgressBar* WorkProgress() const { return m_pWorkProgress; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QAction* NewAction(unsigned id, unsigned menuTextId, const QString& icon);
    void CreateMenu();
    [[nodiscard]] bool CreateToolBar();
    [[nodiscard]] bool CreateStatusBar();
    [[nodiscard]] bool CreateListBar();
    // F6 and Shift+F6: the focus goes from the list to the page or back. False when there
    // is no list to go to (hidden).
    bool MovePaneFocus();
    // Files dragged onto the window (list or page): accepted, and once dropped, opened or
    // stamped by the document. False when the event carries no local file.
    bool TakeFileDrag(QObject* watched, QEvent* event);

    std::map<unsigned, QAction*> m_actions;
    QToolBar* m_pToolBar = nullptr;
    QLabel* m_pIdlePane = nullptr;
    QProgressBar* m_pWorkProgress = nullptr;
    std::map<unsigned, QLabel*> m_indicators;
    CStampListBar* m_pListBar = nullptr;
    CZarnView* m_pView = nullptr;
    CZarnDoc* m_pDocument = nullptr;
    CTlUpdater* m_pTlUpdater = nullptr; // owned by the frame
    std::function<bool(unsigned)> m_appCommand;
};
