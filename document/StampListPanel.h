// The stamp list panel's behaviour, toolkit-free: it mirrors the registry row by row in an
// IListControl, shows the chosen row's stamp through the document, and removes the
// selected entry after a question. The GUI's docked bar and the command line both use it.
#pragma once

#include "document/IListControl.h"
#include "document/IStampDocument.h"
#include "list/IStampListPanel.h"

#include <string>
#include <vector>

class CStampListPanel : public IStampListPanel {
public:
    explicit CStampListPanel(IListControl& control) : m_control(control) {}

    // The active document; null when there is none (then choosing or deleting does nothing).
    void SetDocument(IStampDocument* document) { m_pDocument = document; }

    int FillOnce(const CStampList& list) override;
    [[nodiscard]] int SelectRow(int index) override;
    int PutEntry(int index, const CStampListEntry& entry, bool select) override;
    [[nodiscard]] int DeleteSelected() override;
    int Resync(const CStampList& list, int row, bool choose) override;

    // The list control reports that `row`'s state changed; `focused` when it gained the
    // focused state. A focused row is shown by the document at once, and its badge set to
    // the verdict the document reached.
    void OnItemChanged(int row, bool focused);

private:
    // What a row shows: the entry's stamp path (its identity) and time text.
    struct RowState {
        std::string path;
        std::string time;
    };
    // Inserts a row for `entry` at `row` (both columns).
    void InsertEntryRow(int row, const CStampListEntry& entry);
    // Sets the selection to `row` (-1: none) without showing it.
    void SelectQuietly(int row);

    IListControl& m_control;
    IStampDocument* m_pDocument = nullptr;
    bool m_bFilled = false;
    std::vector<RowState> m_rows; // row i as it stands in the control
    bool m_bQuiet = false;        // the panel is changing rows itself: nothing is chosen
};
