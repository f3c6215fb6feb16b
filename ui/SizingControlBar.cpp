// The sizing bar on Qt's docking. What the docking already does and we keep as it is:
// - Only the edge that faces the main window's client area can be dragged while docked:
//   that edge is the separator between the dock area and the central widget, and it is the
//   only one Qt offers. Several bars in one dock area are split by Qt's own separators.
// - The edge follows the mouse live (Qt resizes while the separator moves).
// What we add: a size kept per place (row, column, floating) that follows the user's
// resizes and is put back whenever the bar changes place or is shown again; the minimum of
// each place; the gripper strip with its close button; double-click to float and dock.
#include "ui/SizingControlBar.h"

#include "core/ClientSettings.h"
#include "platform/Profile.h"

#include <QAbstractButton>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QLayout>
#include <QMainWindow>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>
#include <qdrawutil.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <utility>
#include <vector>

namespace {

constexpr int kCloseSize = 11; // the close button is 11 x 11 pixels
constexpr int kLineWidth = 3;  // each gripper line
constexpr int kRetryMs = 50;   // how often a restore waits for the mouse to be let go

// The integer the classic profile functions read from a value: blanks, an optional sign,
// then digits; 0 without digits; clamped to the int range.
int ProfileInt(const std::string& text) {
    char* end = nullptr;
    const long long value = std::strtoll(text.c_str(), &end, 10);
    if (end == text.c_str())
        return 0;
    return static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

int ReadSize(const char* section, const char* key, int current, const std::string& ini) {
    std::string value;
    const std::string fallback = std::to_string(current);
    (void)GetPrivateProfileString(section, key, fallback, value, 64, ini);
    return ProfileInt(value);
}

} // namespace

// ---- the close button of the gripper strip ----------------------------------------------

class CSizingBarClose : public QAbstractButton {
public:
    explicit CSizingBarClose(QWidget* parent) : QAbstractButton(parent) {
        setObjectName(QStringLiteral("SizingBarClose"));
        setFixedSize(kCloseSize, kCloseSize);
        setFocusPolicy(Qt::NoFocus);
        setAttribute(Qt::WA_Hover);
    }

    QSize sizeHint() const override { return {kCloseSize, kCloseSize}; }

protected:
    bool event(QEvent* event) override {
        // Hot while the pointer is over the button: repaint on the way in and out.
        if (event->type() == QEvent::HoverEnter || event->type() == QEvent::HoverLeave)
            update();
        return QAbstractButton::event(event);
    }

    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        const QRect r = rect();
        painter.fillRect(r, palette().button());
        // Sunken while pushed, raised while hot, flat otherwise.
        if (isDown())
            qDrawShadePanel(&painter, r, palette(), true, 1);
        else if (underMouse())
            qDrawShadePanel(&painter, r, palette(), false, 1);
        // The glyph: a small cross, two pixels thick, two pixels in from the corner.
        painter.setPen(QPen(palette().buttonText().color(), 1));
        for (int shift = 0; shift < 2; ++shift) {
            painter.drawLine(2 + shift, 2, 7 + shift, 7);
            painter.drawLine(7 + shift, 2, 2 + shift, 7);
        }
    }
};

// ---- the gripper strip ----------------------------------------------------------------

// The title bar of a docked bar: the gripper (two raised lines) and the close button. Lies
// above a bar in a column (horizontal strip) or beside a bar in a row (vertical strip).
// Mouse presses and double-clicks outside the button are left to the bar, which drags and
// floats on them.
class CSizingBarTitle : public QWidget {
public:
    CSizingBarTitle(CSizingControlBarG* bar, int thickness)
        : QWidget(bar), m_nThickness(thickness), m_pClose(new CSizingBarClose(this)) {
        setObjectName(QStringLiteral("SizingBarGripper"));
        setAttribute(Qt::WA_OpaquePaintEvent);
        QObject::connect(m_pClose, &QAbstractButton::clicked, bar, [bar] { bar->hide(); });
    }

    QAbstractButton* CloseButton() const { return m_pClose; }

    void SetVertical(bool vertical) {
        if (vertical == m_bVertical)
            return;
        m_bVertical = vertical;
        updateGeometry();
        PlaceButton();
        update();
    }
    bool IsVertical() const { return m_bVertical; }

    QSize sizeHint() const override {
        return m_bVertical ? QSize(m_nThickness, 4 * m_nThickness)
                           : QSize(4 * m_nThickness, m_nThickness);
    }
    QSize minimumSizeHint() const override {
        return m_bVertical ? QSize(m_nThickness, kCloseSize + 3)
                           : QSize(kCloseSize + 3, m_nThickness);
    }

protected:
    void resizeEvent(QResizeEvent*) override { PlaceButton(); }

    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), palette().button());
        const QRect button = m_pClose->geometry();
        QRect first, second;
        if (m_bVertical) {
            // Beside a bar in a row: upright lines from below the button to the bottom.
            const int top = button.top() + 14;
            const int left = (width() - 2 * kLineWidth) / 2;
            first = QRect(left, top, kLineWidth, height() - top - 2);
            second = first.translated(kLineWidth, 0);
        } else {
            // Above a bar in a column: flat lines ending 3 pixels before the button.
            const int top = (height() - 2 * kLineWidth) / 2;
            first = QRect(2, top, button.left() - 3 - 2, kLineWidth);
            second = first.translated(0, kLineWidth);
        }
        for (const QRect& line : {first, second}) {
            if (line.width() > 0 && line.height() > 0)
                qDrawShadePanel(&painter, line, palette(), false, 1);
        }
    }

private:
    void PlaceButton() {
        if (m_bVertical)
            m_pClose->move((width() - kCloseSize) / 2, 1);
        else
            m_pClose->move(width() - kCloseSize - 1, (height() - kCloseSize) / 2);
    }

    int m_nThickness;
    bool m_bVertical = false;
    CSizingBarClose* m_pClose;
};

// ---- CSizingControlBar ------------------------------------------------------------------

CSizingControlBar::CSizingControlBar(QWidget* parent) : QDockWidget(parent) {
    setFeatures(DockWidgetClosable | DockWidgetMovable | DockWidgetFloatable);
    connect(this, &QDockWidget::dockLocationChanged, this,
            [this](Qt::DockWidgetArea) { ScheduleRestore(); });
    connect(this, &QDockWidget::topLevelChanged, this, [this](bool) { ScheduleRestore(); });
}

// The frame forgets its event filter by itself when the bar goes.
CSizingControlBar::~CSizingControlBar() = default;

bool CSizingControlBar::Create(const QString& title, QMainWindow* frame, unsigned id) {
    if (frame == nullptr)
        return false;
    m_pFrame = frame;
    m_nId = id;
    setWindowTitle(title);
    if (objectName().isEmpty())
        setObjectName(QStringLiteral("SCBar-%1").arg(id));
    if (parentWidget() != frame)
        setParent(frame);
    // The frame's first show lays the bar out: the kept size goes in after that.
    frame->installEventFilter(this);
    return true;
}

bool CSizingControlBar::Create(const QString& title, QMainWindow* frame, QSize defaultSize,
                               bool /*gripper*/, unsigned id) {
    m_szHorz = m_szVert = m_szFloat = defaultSize;
    return Create(title, frame, id);
}

void CSizingControlBar::LoadState(const std::string& profileName) {
    char section[256];
    std::snprintf(section, sizeof section, "%s-SCBar-%d", profileName.c_str(),
                  static_cast<int>(m_nId));
    const std::string ini = GetClientSettings().IniPath();
    m_szHorz.setWidth(
        std::max(ReadSize(section, "sizeHorzCX", m_szHorz.width(), ini), m_szMinHorz.width()));
    m_szHorz.setHeight(
        std::max(ReadSize(section, "sizeHorzCY", m_szHorz.height(), ini), m_szMinHorz.height()));
    m_szVert.setWidth(
        std::max(ReadSize(section, "sizeVertCX", m_szVert.width(), ini), m_szMinVert.width()));
    m_szVert.setHeight(
        std::max(ReadSize(section, "sizeVertCY", m_szVert.height(), ini), m_szMinVert.height()));
    m_szFloat.setWidth(
        std::max(ReadSize(section, "sizeFloatCX", m_szFloat.width(), ini), m_szMinFloat.width()));
    m_szFloat.setHeight(
        std::max(ReadSize(section, "sizeFloatCY", m_szFloat.height(), ini), m_szMinFloat.height()));
    if (CurrentOrientation() != Orientation::None)
        ScheduleRestore();
}

void CSizingControlBar::SaveState(const std::string& profileName) {
    char section[256];
    std::snprintf(section, sizeof section, "%s-SCBar-%d", profileName.c_str(),
                  static_cast<int>(m_nId));
    const std::vector<std::pair<std::string, std::string>> entries = {
        {"sizeHorzCX", std::to_string(m_szHorz.width())},
        {"sizeHorzCY", std::to_string(m_szHorz.height())},
        {"sizeVertCX", std::to_string(m_szVert.width())},
        {"sizeVertCY", std::to_string(m_szVert.height())},
        {"sizeFloatCX", std::to_string(m_szFloat.width())},
        {"sizeFloatCY", std::to_string(m_szFloat.height())},
    };
    // Nobody to tell when the file cannot be written: the sizes are a convenience.
    (void)WritePrivateProfileEntries(section, entries, GetClientSettings().IniPath());
}

void CSizingControlBar::SetChild(QWidget* child) {
    m_pChild = child;
    if (child != nullptr) {
        // The bar, not its child, decides how small it may get.
        child->setMinimumSize(1, 1);
    }
    PlaceChild();
}

void CSizingControlBar::SetBarStyle(unsigned style) {
    const unsigned changed = m_dwSCBStyle ^ style;
    m_dwSCBStyle = style;
    if ((changed & SCBS_SIZECHILD) != 0 && m_pChild != nullptr)
        PlaceChild();
}

void CSizingControlBar::PlaceChild() {
    if (m_pChild == nullptr) {
        setWidget(nullptr);
        return;
    }
    if ((m_dwSCBStyle & SCBS_SIZECHILD) != 0) {
        // The dock widget keeps its one widget sized to the whole client area.
        setWidget(m_pChild);
        if (m_pHolder != nullptr) {
            delete m_pHolder;
            m_pHolder = nullptr;
        }
        return;
    }
    // Without sizing, the child sits at its own place inside a holder that fills the bar.
    if (m_pHolder == nullptr) {
        m_pHolder = new QWidget;
        m_pHolder->setMinimumSize(1, 1);
    }
    const QRect geometry = m_pChild->geometry();
    m_pChild->setParent(m_pHolder);
    m_pChild->setGeometry(geometry);
    m_pChild->show();
    setWidget(m_pHolder);
}

CSizingControlBar::Orientation CSizingControlBar::CurrentOrientation() const {
    if (m_pFrame == nullptr)
        return Orientation::None;
    if (isFloating())
        return Orientation::Float;
    switch (m_pFrame->dockWidgetArea(const_cast<CSizingControlBar*>(this))) {
    case Qt::LeftDockWidgetArea:
    case Qt::RightDockWidgetArea:
        return Orientation::Vert;
    case Qt::TopDockWidgetArea:
    case Qt::BottomDockWidgetArea:
        return Orientation::Horz;
    default:
        return Orientation::None;
    }
}

unsigned CSizingControlBar::DockSide() const {
    if (m_pFrame == nullptr)
        return 0;
    if (isFloating())
        return AFX_IDW_DOCKBAR_FLOAT;
    switch (m_pFrame->dockWidgetArea(const_cast<CSizingControlBar*>(this))) {
    case Qt::LeftDockWidgetArea:
        return AFX_IDW_DOCKBAR_LEFT;
    case Qt::RightDockWidgetArea:
        return AFX_IDW_DOCKBAR_RIGHT;
    case Qt::TopDockWidgetArea:
        return AFX_IDW_DOCKBAR_TOP;
    case Qt::BottomDockWidgetArea:
        return AFX_IDW_DOCKBAR_BOTTOM;
    default:
        return 0;
    }
}

bool CSizingControlBar::IsHorzDocked() const {
    return CurrentOrientation() == Orientation::Horz;
}

bool CSizingControlBar::IsVertDocked() const {
    return CurrentOrientation() == Orientation::Vert;
}

QSize CSizingControlBar::CurrentSize() const {
    switch (CurrentOrientation()) {
    case Orientation::Horz:
        return m_szHorz;
    case Orientation::Float:
        return m_szFloat;
    default:
        return m_szVert;
    }
}

void CSizingControlBar::ScheduleRestore() {
    // From now until the restore, the sizes Qt hands out are its own guesses for the new
    // place, not the user's choice.
    m_bRestorePending = true;
    if (m_bRestoreQueued)
        return;
    m_bRestoreQueued = true;
    QTimer::singleShot(0, this, [this] {
        m_bRestoreQueued = false;
        RestoreSize();
    });
}

void CSizingControlBar::RestoreSize() {
    if (!m_bRestorePending)
        return;
    // While the user still drags the bar, changing its title strip or size would fight the
    // drag: wait for the button to come up.
    if (m_bButtonDown && (QGuiApplication::mouseButtons() & Qt::LeftButton) != 0) {
        if (!m_bRestoreQueued) {
            m_bRestoreQueued = true;
            QTimer::singleShot(kRetryMs, this, [this] {
                m_bRestoreQueued = false;
                RestoreSize();
            });
        }
        return;
    }
    OnPlaceChanged();
    m_bRestoring = true;
    const Orientation orientation = CurrentOrientation();
    switch (orientation) {
    case Orientation::Vert:
        setMinimumSize(m_szMinVert);
        if (isVisible())
            m_pFrame->resizeDocks({this}, {m_szVert.width()}, Qt::Horizontal);
        break;
    case Orientation::Horz:
        setMinimumSize(m_szMinHorz);
        if (isVisible())
            m_pFrame->resizeDocks({this}, {m_szHorz.height()}, Qt::Vertical);
        break;
    case Orientation::Float:
        setMinimumSize(m_szMinFloat);
        resize(m_szFloat);
        break;
    case Orientation::None:
        break;
    }
    if (m_pFrame != nullptr && m_pFrame->layout() != nullptr && m_pFrame->isVisible())
        m_pFrame->layout()->activate();
    m_bRestoring = false;
    if (!isVisible())
        return; // the next show puts the size in
    m_bRestorePending = false;
    // The length along the row or column is what the docking gives the bar; the thickness
    // stays as kept even when the window is too small to show all of it now.
    if (orientation == Orientation::Vert)
        m_szVert.setHeight(std::max(height(), m_szMinVert.height()));
    else if (orientation == Orientation::Horz)
        m_szHorz.setWidth(std::max(width(), m_szMinHorz.width()));
}

void CSizingControlBar::RecordSize() {
    if (m_bRestorePending || m_bRestoring || !isVisible())
        return;
    switch (CurrentOrientation()) {
    case Orientation::Horz:
        m_szHorz = size().expandedTo(m_szMinHorz);
        break;
    case Orientation::Vert:
        m_szVert = size().expandedTo(m_szMinVert);
        break;
    case Orientation::Float:
        m_szFloat = size().expandedTo(m_szMinFloat);
        break;
    case Orientation::None:
        break;
    }
}

void CSizingControlBar::OnPlaceChanged() {}

void CSizingControlBar::ToggleFloating() {
    setFloating(!isFloating());
}

void CSizingControlBar::resizeEvent(QResizeEvent* event) {
    QDockWidget::resizeEvent(event);
    RecordSize();
}

void CSizingControlBar::showEvent(QShowEvent* event) {
    QDockWidget::showEvent(event);
    if (CurrentOrientation() != Orientation::None)
        ScheduleRestore();
}

void CSizingControlBar::closeEvent(QCloseEvent* event) {
    // The bar never closes itself. Two closes are hides that the user asked for: the
    // frame's toggle (which unchecks its action, then closes) and the close button of the
    // floating window's caption.
    if (isFloating() || !toggleViewAction()->isChecked()) {
        QDockWidget::closeEvent(event);
        return;
    }
    event->ignore();
}

void CSizingControlBar::mouseDoubleClickEvent(QMouseEvent* event) {
    // A double-click on the bar itself (not on its child) swaps docked and floating.
    if (event->button() == Qt::LeftButton && CurrentOrientation() != Orientation::None) {
        event->accept();
        ToggleFloating();
        return;
    }
    QDockWidget::mouseDoubleClickEvent(event);
}

bool CSizingControlBar::event(QEvent* event) {
    // The docking drags the bar between a press and a release on its title; the bar holds
    // the mouse meanwhile, so the release comes here too.
    if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonRelease) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        m_bButtonDown = (mouse->buttons() & Qt::LeftButton) != 0;
    }
    return QDockWidget::event(event);
}

bool CSizingControlBar::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_pFrame && event->type() == QEvent::Show && isVisible() &&
        CurrentOrientation() != Orientation::None)
        ScheduleRestore();
    return QDockWidget::eventFilter(watched, event);
}

// ---- CSizingControlBarG -----------------------------------------------------------------

CSizingControlBarG::CSizingControlBarG(QWidget* parent)
    : CSizingControlBar(parent), m_pTitle(new CSizingBarTitle(this, m_cyGripper)) {
    setTitleBarWidget(m_pTitle);
}

CSizingControlBarG::~CSizingControlBarG() = default;

bool CSizingControlBarG::ShowsGripper() const {
    const Orientation orientation = CurrentOrientation();
    return orientation == Orientation::Horz || orientation == Orientation::Vert;
}

QWidget* CSizingControlBarG::GripperStrip() const {
    return m_pTitle;
}

QWidget* CSizingControlBarG::CloseButton() const {
    return m_pTitle->CloseButton();
}

void CSizingControlBarG::OnPlaceChanged() {
    const Orientation orientation = CurrentOrientation();
    if (orientation == Orientation::Float) {
        // Floating: the window's own caption (with the bar's title), no gripper.
        if (titleBarWidget() != nullptr)
            setTitleBarWidget(nullptr);
        return;
    }
    // Docked: the strip lies beside a bar in a row and above a bar in a column.
    const bool vertical = orientation == Orientation::Horz;
    m_pTitle->SetVertical(vertical);
    setFeatures(vertical ? features() | DockWidgetVerticalTitleBar
                         : features() & ~DockWidgetVerticalTitleBar);
    if (titleBarWidget() != m_pTitle)
        setTitleBarWidget(m_pTitle);
}
