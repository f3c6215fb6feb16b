#include "document/StampListPanel.h"

#include "list/StampList.h"
#include "support/Messages.h"
#include "support/StringIds.h"
#include "support/SupportFunctions.h"

int CStampListPanel::FillOnce(const CStampList& list) {
    if (!m_bFilled) {
        m_bFilled = true;
        const int width = m_control.ClientWidth();
        m_control.DeleteAllRows();
        // Half the width each, fixed now: later resizing of the panel keeps them.
        const int half = static_cast<int>(width * 0.5);
        m_control.InsertColumn(0, LoadResString(IDS_COLUMN_STAMP_FILE), half);
        m_control.InsertColumn(1, LoadResString(IDS_COLUMN_UTC_TIME), half);
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

int CStampListPanel::PutEntry(int index, const CStampListEntry& entry, bool select) {
    if (index >= m_control.RowCount())
        return -1;
    std::string directory, name;
    SplitPath(entry.m_strStampFile, directory, name);
    if (index == -1) {
        const int row = m_control.InsertRow(m_control.RowCount(), name);
        m_control.SetItemText(row, 1, entry.m_strUtcTime);
        if (select) {
            m_control.ScrollToEnd();
            m_control.SelectAndFocus(row);
        }
    } else if (index >= 0) {
        m_control.SetItemText(index, 1, entry.m_strUtcTime);
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
    bool deleted = false;
    for (;;) {
        const int row = m_control.FirstSelectedRow();
        if (row < 0)
            break;
        if (m_pDocument->RemoveEntry(row) != 1)
            break;
        m_control.DeleteRow(row);
        deleted = true;
        m_pDocument->ShowEntry(-1);
    }
    return deleted ? 1 : 0;
}

void CStampListPanel::OnItemChanged(int row, bool focused) {
    if (row == -1 || !focused || m_pDocument == nullptr)
        return;
    m_pDocument->ShowEntry(row);
    if (const std::optional<RowVerdict> verdict = m_pDocument->ShownEntryVerdict())
        m_control.SetRowVerdict(row, *verdict);
    m_control.SetFocus();
}
