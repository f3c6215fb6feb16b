// What the stamped-files registry asks of the list panel that mirrors it, row i showing
// entry i. The front ends implement it (the GUI's docked list, the command line's printed
// rows); the registry and the document only call it.
#pragma once

class CStampList;
struct CStampListEntry;

class IStampListPanel {
public:
    virtual ~IStampListPanel() = default;

    // Fills the rows from the list the first time; later calls only count the rows.
    virtual int FillOnce(const CStampList& list) = 0;
    // Selects and focuses a row; -1 is the all-rows index, which a single-selection list
    // refuses. Answers the list's answer; 0 for a row outside the list.
    virtual int SelectRow(int index) = 0;
    // Appends a row (index -1) or rewrites row `index`'s time column; with `select` the row
    // is selected and focused. Answers the row count, or -1 for an index outside the rows.
    virtual int PutEntry(int index, const CStampListEntry& entry, bool select) = 0;
    // Removes the selected entry after the user confirmed it: 1 when a row was deleted.
    virtual int DeleteSelected() = 0;
    // Makes the rows mirror `list` again after it changed as a whole (changes of other
    // processes merged in); fills the panel first when it was not filled yet. Rows that stay
    // keep their place in the view. Afterwards row `row` (-1: none) is the selected one:
    // quietly, or with `choose` as a row the user chose (selected, focused and reported, so
    // that the document shows it; scrolled to when it was appended). Answers the row count.
    virtual int Resync(const CStampList& list, int row, bool choose) = 0;
};
