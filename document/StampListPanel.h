// The stamp list panel's behaviour, toolkit-free: it mirrors the registry row by row in an
// IListControl, shows the chosen row's stamp through the document, and removes the
// selected entry after a question. The GUI's docked bar and the command line both use it.
#pragma once

#include "document/IListControl.h"
#include "document/IStampDocument.h"
#include "list/EntryCheck.h"
#include "list/IStampListPanel.h"

#include <functional>
#include <string>
#include <unordered_map>
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

    // Called with a row's stamp path when the user chose the row, before the document
    // shows it (the background work reads that stamp first).
    void SetChosenHook(std::function<void(const std::string&)> hook) {
        m_chosenHook = std::move(hook);
    }

    // ---- What background reading finds out, keyed by stamp path --------------------------

    // A time read from the stamp file `stampFile`: the rows of that path whose time is
    // still empty show it.
    void FillTime(const std::string& stampFile, const std::string& time);
    // Adds the status column after the others the first time; empties every row's status.
    // Nothing before the first fill.
    void ShowStatusColumn();
    bool StatusColumnShown() const { return m_bStatusColumn; }
    // The rows of the entry (stamp path and source path) show `status`; other rows keep
    // theirs. Nothing while the status column is not shown.
    void SetStatus(const std::string& stampFile, const std::string& sourceFile, EntryStatus status);

private:
    // What a row shows: the entry's stamp path (its identity) and time text, its source
    // path and the status found for the entry (empty: none yet).
    struct RowState {
        std::string path;
        std::string time;
        std::string source;
        std::string status;
    };
    // Inserts a row for `entry` at `row` (both columns).
    void InsertEntryRow(int row, const CStampListEntry& entry);
    // The rows of `stampFile` as the rows stand now.
    const std::vector<std::size_t>& RowsOf(const std::string& stampFile);
    // Sets the selection to `row` (-1: none) without showing it.
    void SelectQuietly(int row);

    IListControl& m_control;
    IStampDocument* m_pDocument = nullptr;
    bool m_bFilled = false;
    std::vector<RowState> m_rows; // row i as it stands in the control
    bool m_bQuiet = false;        // the panel is changing rows itself: nothing is chosen
    bool m_bStatusColumn = false;
    std::function<void(const std::string&)> m_chosenHook;
    // The rows of each stamp path; made at first use after the rows changed.
    std::unordered_map<std::string, std::vector<std::size_t>> m_rowsByPath;
};
