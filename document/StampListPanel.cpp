#include "document/StampListPanel.h"

#include "list/StampList.h"
#include "support/Conversions.h"
#include "support/Messages.h"
#include "support/StringIds.h"
#include "support/SupportFunctions.h"

#include <algorithm>
#include <utility>

namespace {

std::string RowName(const CStampListEntry& entry) {
    std::string directory, name;
    SplitPath(entry.m_strStampFile, directory, name);
    return name;
}

// Sets a flag for the lifetime of the object.
class FlagScope {
public:
    explicit FlagScope(bool& flag) : m_flag(flag), m_old(std::exchange(flag, true)) {}
    ~FlagScope() { m_flag = m_old; }
    FlagScope(const FlagScope&) = delete;
    FlagScope& operator=(const FlagScope&) = delete;

private:
    bool& m_flag;
    bool m_old;
};

} // namespace

int CStampListPanel::FillOnce(const CStampList& list) {
    if (!m_bFilled) {
        m_bFilled = true;
        const int width = m_control.ClientWidth();
        m_control.DeleteAllRows();
        m_rows.clear();
        m_rowsByPath.clear();
        // Half the width each, fixed now: later resizing of the panel keeps them. The time
        // is never cut: its column is at least as wide as the longest time it shows.
        const int half = static_cast<int>(width * 0.5);
        const int timeWidth = m_control.TextWidth(FormatGenTime("20281228235858Z"));
        m_control.InsertColumn(0, LoadResString(IDS_COLUMN_STAMP_FILE), half);
        m_control.InsertColumn(1, LoadResString(IDS_COLUMN_UTC_TIME), std::max(half, timeWidth));
        for (const auto& entry : list.Entries())
            PutEntry(-1, entry, false);
    }
    return m_control.RowCount();
}

int CStampListPanel::SelectRow(int index) {
    if (index != -1 && index >= m_control.RowCount())
        return 0;
    return m_control.SelectAndFocus(index) ? 1 : 0;
}

void CStampListPanel::InsertEntryRow(int row, const CStampListEntry& entry) {
    row = m_control.InsertRow(row, RowName(entry));
    m_control.SetItemText(row, 1, entry.m_strUtcTime);
    m_rows.insert(m_rows.begin() + row,
                  {entry.m_strStampFile, entry.m_strUtcTime, entry.m_strSourceFile, {}});
    m_rowsByPath.clear();
}

int CStampListPanel::PutEntry(int index, const CStampListEntry& entry, bool select) {
    if (index >= m_control.RowCount())
        return -1;
    if (index == -1) {
        const int row = m_control.RowCount();
        InsertEntryRow(row, entry);
        if (select) {
            m_control.ScrollToEnd();
            m_control.SelectAndFocus(row);
        }
    } else if (index >= 0) {
        m_control.SetItemText(index, 1, entry.m_strUtcTime);
        if (static_cast<std::size_t>(index) < m_rows.size())
            m_rows[static_cast<std::size_t>(index)].time = entry.m_strUtcTime;
        if (select)
            m_control.SelectAndFocus(index);
    }
    return m_control.RowCount();
}

int CStampListPanel::DeleteSelected() {
    if (m_pDocument == nullptr)
        return 0;
    if (m_control.FirstSelectedRow() < 0)
        return 0;
    if (MessageBoxes().Show(LoadResString(IDS_CONFIRM_DELETE), LoadResString(IDS_APP_TITLE),
                            MsgButtons::YesNo, MsgIcon::Question) != MsgResult::Yes)
        return 0;
    // The list may have followed the file while the question was open: the row is taken
    // now. The document stores the removal and has the rows follow the list.
    const int row = m_control.FirstSelectedRow();
    if (row < 0 || m_pDocument->RemoveEntry(row) != 1)
        return 0;
    m_pDocument->ShowEntry(-1);
    return 1;
}

void CStampListPanel::SelectQuietly(int row) {
    if (m_control.FirstSelectedRow() == row)
        return;
    const FlagScope quiet(m_bQuiet);
    if (row < 0)
        m_control.SelectNone();
    else
        m_control.SelectAndFocus(row);
}

int CStampListPanel::Resync(const CStampList& list, int row, bool choose) {
    FillOnce(list);
    const auto& entries = list.Entries();
    const std::size_t oldSize = m_rows.size();
    const std::size_t newSize = entries.size();
    // Only the rows between the common beginning and the common end are replaced.
    std::size_t head = 0;
    while (head < oldSize && head < newSize && m_rows[head].path == entries[head].m_strStampFile)
        ++head;
    std::size_t tail = 0;
    while (tail < oldSize - head && tail < newSize - head &&
           m_rows[oldSize - 1 - tail].path == entries[newSize - 1 - tail].m_strStampFile)
        ++tail;
    {
        const FlagScope quiet(m_bQuiet);
        for (std::size_t r = oldSize - tail; r-- > head;) {
            m_control.DeleteRow(static_cast<int>(r));
            m_rows.erase(m_rows.begin() + static_cast<std::ptrdiff_t>(r));
            m_rowsByPath.clear();
        }
        for (std::size_t r = head; r < newSize - tail; ++r)
            InsertEntryRow(static_cast<int>(r), entries[r]);
        for (std::size_t r = 0; r < newSize; ++r) {
            if (m_rows[r].time != entries[r].m_strUtcTime) {
                m_rows[r].time = entries[r].m_strUtcTime;
                m_control.SetItemText(static_cast<int>(r), 1, m_rows[r].time);
            }
        }
    }
    if (row >= static_cast<int>(newSize))
        row = -1;
    if (!choose || row < 0) {
        SelectQuietly(row);
    } else {
        const auto at = static_cast<std::size_t>(row);
        if (at + 1 == newSize && at >= head && at < newSize - tail)
            m_control.ScrollToEnd(); // a row appended now
        m_control.SelectAndFocus(row);
    }
    return m_control.RowCount();
}

void CStampListPanel::OnItemChanged(int row, bool focused) {
    if (row == -1 || !focused || m_pDocument == nullptr || m_bQuiet)
        return;
    if (m_chosenHook && static_cast<std::size_t>(row) < m_rows.size())
        m_chosenHook(std::string(m_rows[static_cast<std::size_t>(row)].path));
    m_pDocument->ShowEntry(row);
    if (const std::optional<RowVerdict> verdict = m_pDocument->ShownEntryVerdict())
        m_control.SetRowVerdict(row, *verdict);
    m_control.SetFocus();
}

const std::vector<std::size_t>& CStampListPanel::RowsOf(const std::string& stampFile) {
    static const std::vector<std::size_t> none;
    if (m_rowsByPath.empty()) {
        m_rowsByPath.reserve(m_rows.size());
        for (std::size_t r = 0; r < m_rows.size(); ++r)
            m_rowsByPath[m_rows[r].path].push_back(r);
    }
    const auto found = m_rowsByPath.find(stampFile);
    return found == m_rowsByPath.end() ? none : found->second;
}

void CStampListPanel::FillTime(const std::string& stampFile, const std::string& time) {
    for (const std::size_t r : RowsOf(stampFile)) {
        if (m_rows[r].time.empty()) {
            m_rows[r].time = time;
            m_control.SetItemText(static_cast<int>(r), 1, time);
        }
    }
}

void CStampListPanel::ShowStatusColumn() {
    if (!m_bFilled)
        return;
    if (!m_bStatusColumn) {
        m_bStatusColumn = true;
        // As wide as the longest status, so that none is cut.
        int width = m_control.TextWidth(LoadResString(IDS_COLUMN_STATUS));
        for (const EntryStatus status :
             {EntryStatus::Ok, EntryStatus::SourceChanged, EntryStatus::SourceMissing,
              EntryStatus::StampMissing, EntryStatus::StampInvalid})
            width = std::max(width, m_control.TextWidth(LoadResString(EntryStatusTextId(status))));
        m_control.InsertColumn(2, LoadResString(IDS_COLUMN_STATUS), width);
    }
    for (std::size_t r = 0; r < m_rows.size(); ++r) {
        if (!m_rows[r].status.empty()) {
            m_rows[r].status.clear();
            m_control.SetItemText(static_cast<int>(r), 2, {});
        }
    }
}

void CStampListPanel::SetStatus(const std::string& stampFile, const std::string& sourceFile,
                                EntryStatus status) {
    if (!m_bStatusColumn)
        return;
    const std::string text = LoadResString(EntryStatusTextId(status));
    for (const std::size_t r : RowsOf(stampFile)) {
        if (m_rows[r].source == sourceFile && m_rows[r].status != text) {
            m_rows[r].status = text;
            m_control.SetItemText(static_cast<int>(r), 2, text);
        }
    }
}
