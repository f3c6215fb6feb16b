// A report-style list (two columns, a third for the entries' statuses once they are
// checked) with single, full-row selection: the one control of the stamp list panel. The
// GUI implements it with its list widget, the command line by printing rows, the tests with
// a fake. Rows carry no data of their own: the row index is the registry index.
#pragma once

#include "document/RowVerdict.h"

#include <string>

class IListControl {
public:
    virtual ~IListControl() = default;

    virtual int ClientWidth() const = 0;
    // The width in pixels a cell needs to show `text` whole; 0 where widths mean nothing.
    virtual int TextWidth(const std::string& /*text*/) const { return 0; }
    virtual int RowCount() const = 0;
    virtual void DeleteAllRows() = 0;
    // Adds column `index` with its heading and a fixed width in pixels.
    virtual void InsertColumn(int index, const std::string& heading, int width) = 0;
    // Inserts a row at `row` with `text` in column 0; answers its index.
    virtual int InsertRow(int row, const std::string& text) = 0;
    virtual void SetItemText(int row, int column, const std::string& text) = 0;
    // Selects and focuses `row`; -1 means every row, which a single-selection list refuses.
    // Answers whether the state was set. Setting it reports the row to the panel
    // (CStampListPanel::OnItemChanged with focused set), also when the row had the state
    // already, so that a rewritten row is shown anew.
    virtual bool SelectAndFocus(int row) = 0;
    // Leaves no row selected or focused, without reporting anything.
    virtual void SelectNone() = 0;
    // The first selected row, -1 when none is.
    virtual int FirstSelectedRow() const = 0;
    // Removes the row; the selection does not move to another row.
    virtual void DeleteRow(int row) = 0;
    // Scrolls to the end of the list.
    virtual void ScrollToEnd() = 0;
    // Gives the keyboard focus to the list.
    virtual void SetFocus() = 0;
    // Shows the row's verdict: a badge before its name, the tooltip over the row. A list
    // without badges ignores it.
    virtual void SetRowVerdict(int /*row*/, const RowVerdict& /*verdict*/) {}
};
