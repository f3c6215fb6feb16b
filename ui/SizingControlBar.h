// A docking bar whose size the user changes by dragging its free edge, and which remembers
// a separate size for each way it can sit: in a horizontal row (top, bottom), in a vertical
// column (left, right) and floating. Built on QDockWidget inside the main window's docking.
// CSizingControlBarG adds the gripper strip with a small close button while docked.
// The edge that faces the main window's client area is the main window's dock separator
// (the only edge that can be dragged while docked); the edge bits of the bar style are kept
// but draw and drag nothing of their own.
#pragma once

#include <QDockWidget>
#include <QSize>
#include <QString>

#include <string>

class QMainWindow;
class QCloseEvent;
class QMouseEvent;
class QResizeEvent;
class QShowEvent;
class CSizingBarTitle;

class CSizingControlBar : public QDockWidget {
    Q_OBJECT

public:
    // Bar style bits: which edges can be dragged, draw the edges, keep the child sized to
    // the whole client area.
    enum : unsigned {
        SCBS_EDGELEFT = 0x01,
        SCBS_EDGERIGHT = 0x02,
        SCBS_EDGETOP = 0x04,
        SCBS_EDGEBOTTOM = 0x08,
        SCBS_EDGEALL = 0x0F,
        SCBS_SHOWEDGES = 0x10,
        SCBS_SIZECHILD = 0x20,
    };
    // Where the bar sits, as the id of the dock bar that holds it.
    enum : unsigned {
        AFX_IDW_DOCKBAR_TOP = 59419,
        AFX_IDW_DOCKBAR_LEFT = 59420,
        AFX_IDW_DOCKBAR_RIGHT = 59421,
        AFX_IDW_DOCKBAR_BOTTOM = 59422,
        AFX_IDW_DOCKBAR_FLOAT = 59423,
    };

    explicit CSizingControlBar(QWidget* parent = nullptr);
    ~CSizingControlBar() override;

    // Creates the bar in `frame` (not yet docked: the frame docks it) with `title` and
    // control id `id`. Answers success.
    [[nodiscard]] virtual bool Create(const QString& title, QMainWindow* frame, unsigned id);
    // The same, with all three sizes set to `defaultSize` first.
    [[nodiscard]] virtual bool Create(const QString& title, QMainWindow* frame, QSize defaultSize,
                                      bool gripper, unsigned id);

    // The six sizes in the application's profile (the user's INI file), section
    // "<profileName>-SCBar-<id>". The program itself calls neither.
    virtual void LoadState(const std::string& profileName);
    virtual void SaveState(const std::string& profileName);

    virtual bool ShowsGripper() const { return false; }

    // The bar's one child, kept sized to the client area with SCBS_SIZECHILD. The child's
    // minimum size becomes 1 x 1: the bar's minimums are the ones that count.
    void SetChild(QWidget* child);

    unsigned ControlId() const { return m_nId; }
    unsigned BarStyle() const { return m_dwSCBStyle; }
    // With SCBS_SIZECHILD the child fills the bar; without it the child keeps its own
    // geometry inside the bar.
    void SetBarStyle(unsigned style);
    // The dock side now, one of the AFX_IDW_DOCKBAR_* ids; 0 before the bar is docked.
    unsigned DockSide() const;
    bool IsFloating() const { return isFloating(); }
    bool IsHorzDocked() const;
    bool IsVertDocked() const;

    QSize HorzSize() const { return m_szHorz; }
    QSize VertSize() const { return m_szVert; }
    QSize FloatSize() const { return m_szFloat; }

    // The size kept for the bar's present place (horizontal, vertical or floating), or the
    // vertical size before it is docked.
    QSize CurrentSize() const;

protected:
    // Where the bar sits, as far as its sizes are concerned.
    enum class Orientation { None, Horz, Vert, Float };
    Orientation CurrentOrientation() const;

    // Our docking turns these into size memory: each is followed by putting back the size
    // kept for the new place once the docking has settled.
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

    // Called once the bar has a new place (docked side, floating); the gripper class
    // changes its strip here.
    virtual void OnPlaceChanged();
    // Swaps docked and floating, as a double-click does.
    void ToggleFloating();

    QSize m_szHorz{300, 300};
    QSize m_szVert{300, 300};
    QSize m_szFloat{200, 200};
    QSize m_szMinHorz{33, 32};
    QSize m_szMinVert{33, 32};
    QSize m_szMinFloat{37, 32};
    unsigned m_dwSCBStyle = 0;
    int m_cxEdge = 5;
    unsigned m_nId = 0;
    QMainWindow* m_pFrame = nullptr;

private:
    // Asks for the kept size to be put back when the event loop is next idle.
    void ScheduleRestore();
    // Puts the kept size of the present place back and sets the place's minimum.
    void RestoreSize();
    // Records the bar's size in the member of its present place.
    void RecordSize();
    void PlaceChild();

    QWidget* m_pChild = nullptr;    // the one child given to SetChild
    QWidget* m_pHolder = nullptr;   // holds the child when it is not sized to the bar
    bool m_bRestorePending = false; // sizes seen now belong to no place yet
    bool m_bRestoreQueued = false;
    bool m_bRestoring = false;
    bool m_bButtonDown = false; // the left button went down on the bar (a drag may be on)
};

class CSizingControlBarG : public CSizingControlBar {
    Q_OBJECT

public:
    explicit CSizingControlBarG(QWidget* parent = nullptr);
    ~CSizingControlBarG() override;

    // True while docked.
    bool ShowsGripper() const override;

    // The strip with the gripper and the close button (shown only while docked), and its
    // close button (tests, screenshots).
    QWidget* GripperStrip() const;
    QWidget* CloseButton() const;

protected:
    void OnPlaceChanged() override;

    int m_cyGripper = 12;

private:
    CSizingBarTitle* m_pTitle = nullptr; // owned by the bar
};
