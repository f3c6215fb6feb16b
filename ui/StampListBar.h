// The stamp list panel: a sizing bar docked at the side of the main window holding one
// report-style list (the stamp file's name and the token's UTC time per registry entry, and
// the entry's status once every entry has been checked).
// Its behaviour is CStampListPanel's; this is only the Qt body it lives in.
#pragma once

#include "document/IListControl.h"
#include "document/StampListPanel.h"
#include "ui/SizingControlBar.h"

#include <QTreeWidget>

#include <memory>

class CRowVerdictLoader;
class CStampListWork;

// The list: two or three columns, grid lines, single full-row selection, selection always shown.
class CStampListCtrl : public QTreeWidget, public IListControl {
    Q_OBJECT

public:
    explicit CStampListCtrl(QWidget* parent = nullptr);

    // Where row changes are reported (CStampListPanel::OnItemChanged).
    void SetPanel(CStampListPanel* panel) { m_pPanel = panel; }

    int ClientWidth() const override;
    int TextWidth(const std::string& text) const override;
    int RowCount() const override;
    void DeleteAllRows() override;
    void InsertColumn(int index, const std::string& heading, int width) override;
    int InsertRow(int row, const std::string& text) override;
    void SetItemText(int row, int column, const std::string& text) override;
    bool SelectAndFocus(int row) override;
    void SelectNone() override;
    int FirstSelectedRow() const override;
    void DeleteRow(int row) override;
    void ScrollToEnd() override;
    void SetFocus() override;

    // The text of `row`, `column`; "" outside the list (tests, screenshots).
    std::string ItemText(int row, int column) const;

    // ---- Verdict badges (the end of StampListBar.cpp) -------------------------------------

    // The badge and tooltip of `row`, as the document judged its shown stamp.
    void SetRowVerdict(int row, const RowVerdict& verdict) override;
    // Counts every change of the rows (inserted, deleted, emptied).
    unsigned RowsGeneration() const { return m_nRowsGeneration; }
    // A verdict judged in the background for `row` while the rows were at `generation`:
    // taken only when they still are and the row has no badge yet.
    void SetLoadedRowVerdict(int row, const RowVerdict& verdict, unsigned generation);
    // The badge shown on `row` (None outside the list) and its tooltip (tests).
    RowBadge RowBadgeOf(int row) const;
    std::string RowTooltip(int row) const;

private:
    // Getting the keyboard focus makes no row current by itself.
    void focusInEvent(QFocusEvent* event) override;
    // The view's current or selected row changed: a row both current and selected that was
    // not reported yet is reported to the panel.
    void OnRowStateChanged();

    CStampListPanel* m_pPanel = nullptr;
    unsigned m_nRowsGeneration = 0;
    int m_nColumns = 0;    // columns inserted so far
    int m_nShownRow = -1;  // the row last reported as chosen, -1 when none is
    bool m_bQuiet = false; // the program is changing rows: the view's signals report nothing
};

class CStampListBar : public CSizingControlBarG, public IStampListPanel {
    Q_OBJECT

public:
    explicit CStampListBar(QWidget* parent = nullptr);
    ~CStampListBar() override;

    // Creates the bar and its list (control id 102) in `frame`; the frame docks it.
    [[nodiscard]] bool Create(const QString& title, QMainWindow* frame, unsigned id) override;

    // The document that shows chosen rows and removes entries.
    void SetDocument(IStampDocument* document) { m_panel.SetDocument(document); }
    // The registry whose stamps the bar reads in the background (times, checks); null: none.
    void SetRegistry(CStampList* registry);

    // The first fill also has the listed stamps judged in the background for their badges,
    // and the times still missing read.
    int FillOnce(const CStampList& list) override;
    int SelectRow(int index) override { return m_panel.SelectRow(index); }
    int PutEntry(int index, const CStampListEntry& entry, bool select) override {
        return m_panel.PutEntry(index, entry, select);
    }
    int DeleteSelected() override { return m_panel.DeleteSelected(); }
    int Resync(const CStampList& list, int row, bool choose) override {
        return m_panel.Resync(list, row, choose);
    }

    // Checks every entry against its source file in the background, the statuses filling
    // the list's third column. False, doing nothing, while such a check still runs (or
    // without a registry).
    bool CheckAll();
    // The background work on the registry's stamps; null without a registry (tests).
    CStampListWork* Work() const { return m_pWork.get(); }

    CStampListCtrl& ListCtrl() { return *m_pList; }
    // The background judging of the first fill's rows; null before it (tests wait on it).
    CRowVerdictLoader* RowVerdictLoader() const { return m_pLoader; }
    CStampListPanel& Panel() { return m_panel; }

signals:
    // The background work has done `done` of `total` jobs; (0, 0) when it has nothing left.
    void workProgress(int done, int total);

private:
    // Takes the background results (on the window's thread) and reports the progress.
    void DeliverWork();

    CStampListCtrl* m_pList = nullptr;      // owned by the bar as its child widget
    CRowVerdictLoader* m_pLoader = nullptr; // owned by the list
    CStampListPanel m_panel;
    std::unique_ptr<CStampListWork> m_pWork; // goes before the panel and the list
};
