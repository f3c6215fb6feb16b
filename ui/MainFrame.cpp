#include "ui/MainFrame.h"

#include "core/ClientSettings.h"
#include "document/ZarnDoc.h"
#include "support/Messages.h"
#include "support/StringIds.h"
#include "ui/StampListBar.h"
#include "ui/TlUpdater.h"
#include "ui/ZarnView.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QFontMetrics>
#include <QIcon>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QProgressBar>
#include <QStatusBar>
#include <QToolBar>
#include <QUrl>

#include <algorithm>

// Resources of a static library must be pulled in by name.
static void InitFrameResources() {
    Q_INIT_RESOURCE(frame);
}

namespace {

QString Res(uint32_t id) {
    return QString::fromStdString(LoadResString(id));
}

// The prompt of a command is its string up to the line feed; the tip what follows it, or
// the whole string when it has none.
QString Prompt(uint32_t id) {
    return Res(id).section(QLatin1Char('\n'), 0, 0);
}

QString Tip(uint32_t id) {
    const QString text = Res(id);
    const int cut = text.indexOf(QLatin1Char('\n'));
    return cut < 0 ? text : text.mid(cut + 1);
}

// Whether one of the keyboard's lights called `name` (capslock, numlock, scrolllock) is on.
// The lights are the only lock state the window system does not hide from us; without
// them the indicator stays empty.
bool LockLightOn(const char* name) {
    const QDir leds(QStringLiteral("/sys/class/leds"));
    const QString suffix = QStringLiteral("::") + QLatin1String(name);
    for (const QString& entry : leds.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (!entry.endsWith(suffix))
            continue;
        QFile brightness(leds.filePath(entry + QStringLiteral("/brightness")));
        if (brightness.open(QIODevice::ReadOnly) && brightness.readAll().trimmed() != "0")
            return true;
    }
    return false;
}

} // namespace

CMainFrame::CMainFrame(QWidget* parent) : QMainWindow(parent) {
    InitFrameResources();
    setObjectName(QStringLiteral("CMainFrame"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(Res(IDS_APP_TITLE));
}

CMainFrame::~CMainFrame() {
    qApp->removeEventFilter(this);
    // The bars and the view report while they are torn down, when this is no frame any more.
    if (m_pListBar != nullptr)
        disconnect(m_pListBar, nullptr, this, nullptr);
    if (m_pView != nullptr)
        disconnect(m_pView, nullptr, this, nullptr);
    DeleteClientSettings();
    // The bars and the view go with the window; the view leaves its document first.
}

bool CMainFrame::OnCreate() {
    CreateMenu();
    if (!CreateToolBar() || !CreateStatusBar() || !CreateListBar())
        return false;

    m_pView = new CZarnView(this);
    m_pView->setObjectName(QStringLiteral("CZarnView"));
    setCentralWidget(m_pView);
    connect(m_pView, &CZarnView::pageFilled, this, [this] { UpdateFrameTitle(); });

    // Tab past the page's last control comes back to the list.
    QWidget::setTabOrder(m_pView, &m_pListBar->ListCtrl());

    // Lock keys, F6 and dropped files, wherever the focus or the mouse is.
    qApp->installEventFilter(this);
    setAcceptDrops(true);
    UpdateIndicators();
    UpdateCommandUI();
    // Wide enough for the list panel beside the whole stamp page, without a scroll bar.
    resize(1000, 700);
    return true;
}

QAction* CMainFrame::NewAction(unsigned id, unsigned menuTextId, const QString& icon) {
    auto* action = new QAction(Res(menuTextId), this);
    action->setData(id);
    action->setObjectName(QStringLiteral("action_%1").arg(id));
    action->setStatusTip(Prompt(id));
    action->setToolTip(Tip(id));
    if (!icon.isEmpty()) {
        action->setIcon(QIcon(QStringLiteral(":/toolbar/") + icon + QStringLiteral(".png")));
        action->setIconVisibleInMenu(false);
    }
    connect(action, &QAction::triggered, this, [this, id] { OnCommand(id); });
    m_actions[id] = action;
    return action;
}

void CMainFrame::CreateMenu() {
    QMenuBar* bar = menuBar();

    QMenu* stamp = bar->addMenu(Res(IDS_MENU_STAMP));
    stamp->addAction(NewAction(ID_FILE_NEW, IDS_MENU_NEW, QStringLiteral("new")));
    stamp->addAction(NewAction(ID_FILE_OPEN, IDS_MENU_OPEN, QStringLiteral("open")));
    stamp->addAction(NewAction(ID_VERIFY, IDS_MENU_VERIFY, QStringLiteral("verify")));
    stamp->addAction(NewAction(ID_CHECK_ALL, IDS_MENU_CHECK_ALL, {}));
    stamp->addSeparator();
    stamp->addAction(NewAction(ID_DELETE_FROM_LIST, IDS_MENU_DELETE, QStringLiteral("delete")));
    stamp->addSeparator();
    stamp->addAction(NewAction(ID_FILE_PRINT, IDS_MENU_PRINT, {}));
    stamp->addAction(NewAction(ID_FILE_PRINT_PREVIEW, IDS_MENU_PRINT_PREVIEW, {}));
    stamp->addSeparator();
    stamp->addAction(NewAction(ID_APP_EXIT, IDS_MENU_EXIT, QStringLiteral("exit")));

    QMenu* view = bar->addMenu(Res(IDS_MENU_VIEW));
    for (auto [id, text] : {std::pair{ID_VIEW_TOOLBAR, IDS_MENU_TOOLBAR},
                            std::pair{ID_VIEW_STATUS_BAR, IDS_MENU_STATUS_BAR},
                            std::pair{ID_VIEW_STAMP_LIST, IDS_MENU_STAMP_LIST}}) {
        QAction* toggle = NewAction(id, text, {});
        toggle->setCheckable(true);
        view->addAction(toggle);
    }
    connect(view, &QMenu::aboutToShow, this, [this] { UpdateCommandUI(); });

    QMenu* tools = bar->addMenu(Res(IDS_MENU_TOOLS));
    tools->addAction(NewAction(ID_SETTINGS, IDS_MENU_SETTINGS, QStringLiteral("settings")));
    tools->addAction(NewAction(ID_TL_UPDATE, IDS_MENU_TL_UPDATE, {}));

    QMenu* help = bar->addMenu(Res(IDS_MENU_HELP));
    help->addAction(NewAction(ID_HELP_CONTENTS, IDS_MENU_HELP_CONTENTS, QStringLiteral("help")));
    help->addSeparator();
    help->addAction(NewAction(ID_APP_ABOUT, IDS_MENU_ABOUT, QStringLiteral("about")));

    // The accelerators; the menu texts show them after the tab already.
    m_actions[ID_FILE_NEW]->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    m_actions[ID_FILE_OPEN]->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    m_actions[ID_HELP_CONTENTS]->setShortcut(QKeySequence(Qt::Key_F1));

    // The toolbar prints the current page at once; the menu's "Tisk" asks first. The direct
    // print has no menu item, so its action lives on the toolbar alone.
    NewAction(ID_FILE_PRINT_DIRECT, IDS_MENU_PRINT, QStringLiteral("print"));
}

bool CMainFrame::CreateToolBar() {
    m_pToolBar = new QToolBar(this);
    m_pToolBar->setObjectName(QStringLiteral("toolbar_%1").arg(AFX_IDW_TOOLBAR));
    m_pToolBar->setIconSize(QSize(16, 15));
    m_pToolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    m_pToolBar->setAllowedAreas(Qt::TopToolBarArea);
    m_pToolBar->setFloatable(false);
    for (uint32_t id : {ID_FILE_NEW, ID_FILE_OPEN, ID_VERIFY, 0u, ID_DELETE_FROM_LIST, 0u,
                        ID_SETTINGS, 0u, ID_FILE_PRINT_DIRECT, 0u, ID_HELP_CONTENTS, ID_APP_EXIT}) {
        if (id == 0)
            m_pToolBar->addSeparator();
        else
            m_pToolBar->addAction(m_actions.at(id));
    }
    addToolBar(Qt::TopToolBarArea, m_pToolBar);
    return true;
}

bool CMainFrame::CreateStatusBar() {
    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("statusbar_%1").arg(AFX_IDW_STATUS_BAR));
    // The message pane: the idle text, covered by a command's prompt while one is pointed at.
    m_pIdlePane = new QLabel(Res(IDS_IDLEMESSAGE), bar);
    m_pIdlePane->setObjectName(QStringLiteral("idlePane"));
    bar->addWidget(m_pIdlePane, 1);
    // The list's background work (times at start-up, checking every entry), while it runs.
    m_pWorkProgress = new QProgressBar(bar);
    m_pWorkProgress->setObjectName(QStringLiteral("workProgress"));
    m_pWorkProgress->setMaximumWidth(160);
    m_pWorkProgress->setTextVisible(false);
    m_pWorkProgress->hide();
    bar->addPermanentWidget(m_pWorkProgress);
    for (uint32_t id : {ID_INDICATOR_CAPS, ID_INDICATOR_NUM, ID_INDICATOR_SCRL}) {
        auto* pane = new QLabel(bar);
        pane->setObjectName(QStringLiteral("indicator_%1").arg(id));
        pane->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        pane->setAlignment(Qt::AlignCenter);
        pane->setMinimumWidth(pane->fontMetrics().horizontalAdvance(Res(id)) + 10);
        bar->addPermanentWidget(pane);
        m_indicators[id] = pane;
    }
    return true;
}

bool CMainFrame::CreateListBar() {
    m_pListBar = new CStampListBar(this);
    if (!m_pListBar->Create(Res(IDS_STAMP_LIST_TITLE), this, IDC_STAMP_LIST_BAR))
        return false;
    m_pListBar->setAllowedAreas(Qt::AllDockWidgetAreas);
    m_pListBar->setStatusTip(Prompt(ID_VIEW_STAMP_LIST));
    addDockWidget(Qt::LeftDockWidgetArea, m_pListBar);
    connect(m_pListBar, &QDockWidget::visibilityChanged, this, [this] { UpdateCommandUI(); });
    connect(m_pListBar, &CStampListBar::workProgress, this, [this](int done, int total) {
        m_pWorkProgress->setRange(0, std::max(total, 1));
        m_pWorkProgress->setValue(done);
        m_pWorkProgress->setVisible(done < total);
    });
    return true;
}

void CMainFrame::SetDocument(CZarnDoc* document) {
    m_pDocument = document;
    if (m_pListBar != nullptr) {
        m_pListBar->SetDocument(document);
        m_pListBar->SetRegistry(document != nullptr ? &document->Registry() : nullptr);
    }
    if (m_pView != nullptr && document != nullptr)
        document->AddView(m_pView);
    UpdateFrameTitle();
}

bool CMainFrame::OnCommand(unsigned id) {
    bool handled = (m_pView != nullptr && m_pView->OnCommand(id)) ||
                   (m_pDocument != nullptr && m_pDocument->OnCommand(id)) || OnFrameCommand(id) ||
                   (m_appCommand && m_appCommand(id));
    // The frame may be closing now (exit): touch nothing that it owns unless it stays.
    if (handled && id != ID_APP_EXIT) {
        UpdateCommandUI();
        UpdateFrameTitle();
    }
    return handled;
}

bool CMainFrame::OnFrameCommand(unsigned id) {
    switch (id) {
    case ID_VIEW_STAMP_LIST:
        OnViewStampList();
        return true;
    case ID_VIEW_TOOLBAR:
        m_pToolBar->setVisible(!m_pToolBar->isVisibleTo(this));
        return true;
    case ID_VIEW_STATUS_BAR:
        statusBar()->setVisible(!statusBar()->isVisibleTo(this));
        return true;
    case ID_TL_UPDATE:
        TlUpdater()->RunWithDialog();
        return true;
    case ID_CHECK_ALL:
        // A check still running goes on; the command waits for its end.
        if (m_pListBar != nullptr)
            (void)m_pListBar->CheckAll();
        return true;
    default:
        return false;
    }
}

void CMainFrame::OnViewStampList() {
    if (m_pListBar == nullptr)
        return;
    m_pListBar->setVisible(!m_pListBar->isVisibleTo(this));
    UpdateCommandUI();
}

void CMainFrame::UpdateCommandUI() {
    const auto check = [this](unsigned id, QWidget* bar) {
        if (auto it = m_actions.find(id); it != m_actions.end() && bar != nullptr)
            it->second->setChecked(bar->isVisibleTo(this));
    };
    check(ID_VIEW_STAMP_LIST, m_pListBar);
    check(ID_VIEW_TOOLBAR, m_pToolBar);
    check(ID_VIEW_STATUS_BAR, statusBar());
}

void CMainFrame::UpdateFrameTitle() {
    const QString app = Res(IDS_APP_TITLE);
    const QString doc =
        m_pDocument != nullptr ? QString::fromStdString(m_pDocument->GetTitle()) : QString();
    setWindowTitle(doc.isEmpty() ? app : doc + QStringLiteral(" - ") + app);
}

void CMainFrame::UpdateIndicators() {
    const std::pair<uint32_t, const char*> lights[] = {
        {ID_INDICATOR_CAPS, "capslock"},
        {ID_INDICATOR_NUM, "numlock"},
        {ID_INDICATOR_SCRL, "scrolllock"},
    };
    for (const auto& [id, light] : lights)
        if (QLabel* pane = Indicator(id))
            pane->setText(LockLightOn(light) ? Res(id) : QString());
}

CTlUpdater* CMainFrame::TlUpdater() {
    if (m_pTlUpdater == nullptr)
        m_pTlUpdater = new CTlUpdater(this, m_pDocument);
    return m_pTlUpdater;
}

QAction* CMainFrame::Action(unsigned id) const {
    const auto it = m_actions.find(id);
    return it != m_actions.end() ? it->second : nullptr;
}

QLabel* CMainFrame::Indicator(unsigned id) const {
    const auto it = m_indicators.find(id);
    return it != m_indicators.end() ? it->second : nullptr;
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    // The save point: the list goes to the INI file when it changed.
    if (m_pDocument != nullptr && !m_pDocument->SaveModified()) {
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}

void CMainFrame::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        UpdateIndicators();
    QMainWindow::changeEvent(event);
}

bool CMainFrame::MovePaneFocus() {
    QWidget* list = &m_pListBar->ListCtrl();
    if (!list->isVisible() || m_pView == nullptr)
        return false;
    const QWidget* focus = QApplication::focusWidget();
    const bool inList = focus != nullptr && (focus == list || list->isAncestorOf(focus));
    // Two panes: forward and backward both lead to the other one.
    if (inList)
        m_pView->setFocus(Qt::OtherFocusReason);
    else
        list->setFocus(Qt::OtherFocusReason);
    return true;
}

bool CMainFrame::TakeFileDrag(QObject* watched, QEvent* event) {
    const auto* widget = qobject_cast<QWidget*>(watched);
    if (widget == nullptr || widget->window() != this || m_pDocument == nullptr)
        return false;
    // Drag-enter and drag-move events are drop events too.
    auto* drop = static_cast<QDropEvent*>(event);
    std::vector<std::string> paths;
    if (drop->mimeData() != nullptr)
        for (const QUrl& url : drop->mimeData()->urls())
            if (url.isLocalFile())
                paths.push_back(url.toLocalFile().toStdString());
    if (paths.empty())
        return false;
    drop->acceptProposedAction();
    if (event->type() == QEvent::Drop) {
        // Stamped once the drop is over: the dragging program waits for its end.
        QMetaObject::invokeMethod(
            this,
            [this, paths] {
                if (m_pDocument != nullptr)
                    (void)m_pDocument->OpenPaths(paths); // the workflows tell their outcome
                UpdateFrameTitle();
            },
            Qt::QueuedConnection);
    }
    return true;
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event) {
    // Files dropped on the list or on the page are the window's, not the page's.
    if ((event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove ||
         event->type() == QEvent::Drop) &&
        TakeFileDrag(watched, event))
        return true;
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_F6) {
        const auto* widget = qobject_cast<QWidget*>(watched);
        const auto modifiers = static_cast<QKeyEvent*>(event)->modifiers() & ~Qt::ShiftModifier;
        if (widget != nullptr && widget->window() == this && modifiers == Qt::NoModifier &&
            MovePaneFocus())
            return true;
    }
    if (event->type() == QEvent::KeyRelease) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_CapsLock || key == Qt::Key_NumLock || key == Qt::Key_ScrollLock)
            UpdateIndicators();
    }
    return QMainWindow::eventFilter(watched, event);
}
