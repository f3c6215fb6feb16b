#include "document/ZarnDoc.h"

#include "core/ClientSettings.h"
#include "document/DetailFields.h"
#include "document/IFrontEnd.h"
#include "support/ErrorText.h"
#include "support/Messages.h"
#include "support/StringIds.h"

CZarnDoc::CZarnDoc(CStampList& list)
    : m_detailTexts(DetailFields().size()), m_stampExtensions{".tsr", ".tst"}, m_list(list) {
    Reset();
}

CZarnDoc::~CZarnDoc() {
    Reset();
}

std::string CZarnDoc::GetFieldValue(std::string_view name) const {
    if (name == kStampFileField)
        return m_currentEntry.m_strStampFile;
    if (name == kSourceFileField)
        return m_currentEntry.m_strSourceFile;
    const std::size_t index = DetailFieldIndex(name);
    return index < m_detailTexts.size() ? m_detailTexts[index] : std::string();
}

bool CZarnDoc::OnCommand(unsigned id) {
    switch (id) {
    case ID_FILE_NEW:
        OnFileNew();
        return true;
    case ID_FILE_OPEN:
        OnFileOpen();
        return true;
    case ID_DELETE_FROM_LIST:
        OnDeleteFromList();
        return true;
    case ID_VERIFY:
        OnVerify();
        return true;
    default:
        return false;
    }
}

bool CZarnDoc::OnNewDocument() {
    if (!CDocument::OnNewDocument())
        return false;
    SetTitle("");
    return true;
}

bool CZarnDoc::HasMainWindow() const {
    return m_pFrontEnd != nullptr && m_pFrontEnd->HasMainWindow();
}

IStampListPanel* CZarnDoc::ListPanel() const {
    return HasMainWindow() ? m_pFrontEnd->ListPanel() : nullptr;
}

void CZarnDoc::ShowEntry(int index) {
    m_nCurrentEntry = -1;
    if (index >= 0 && !m_list.IsEmpty() && index < m_list.GetCount()) {
        // Set first: a box the check shows runs events, and the list may follow the file
        // meanwhile, taking the index along.
        m_nCurrentEntry = index;
        LoadEntry(m_list.GetAt(index));
        return;
    }
    SetTitle("");
    ClearDisplay();
    UpdateAllViews(nullptr);
}

void CZarnDoc::ClearDisplay() {
    Reset();
    m_currentEntry = CStampListEntry{};
    m_verdicts = {};
    m_detailTexts.assign(DetailFields().size(), std::string());
}

void CZarnDoc::LoadEntry(CStampListEntry entry) {
    ClearDisplay();
    const bool checked = !entry.m_strStampFile.empty();
    // The details come from the stamp file whenever it could be decoded, also when the
    // source does not match.
    const SourceCheck check =
        checked ? CheckSourceFile(*this, entry.m_strStampFile, entry.m_strSourceFile)
                : SourceCheck::Mismatch;
    if (checked)
        JudgeShownStamp();
    m_detailTexts = ReadDetailTexts(*this, checked, &m_verdicts);
    if (checked) {
        // A check the user stopped has nothing to tell.
        if (check == SourceCheck::Mismatch)
            ErrorBox(ErrorText());
        SetTitle(entry.m_strStampFile);
    }
    m_currentEntry = std::move(entry);
    UpdateAllViews(nullptr);
}

CZarnDoc::EntryKey CZarnDoc::CurrentKey() const {
    if (m_nCurrentEntry < 0 || m_nCurrentEntry >= m_list.GetCount())
        return {};
    return {m_list.GetAt(m_nCurrentEntry).m_strStampFile, m_list.OccurrenceAt(m_nCurrentEntry),
            true};
}

void CZarnDoc::FollowCurrentEntry(const EntryKey& key) {
    m_nCurrentEntry = key.valid ? m_list.FindOccurrence(key.path, key.occurrence) : -1;
}

bool CZarnDoc::OfferRetry() const {
    // The text the write error has always had; the buttons offer another try.
    return MessageBoxes().Show(
               FormatResWithSystemError(IDS_WRITE_ERROR, GetClientSettings().IniPath()),
               LoadResString(IDS_APP_TITLE), MsgButtons::RetryCancel,
               MsgIcon::Error) == MsgResult::Retry;
}

bool CZarnDoc::StoreListChange(const CStampListChange& change) {
    CClientSettings& settings = GetClientSettings();
    bool stored = m_list.Change(settings, change);
    while (!stored && OfferRetry())
        stored = m_list.StorePending(settings);
    SetModifiedFlag(m_list.HasPendingChanges());
    return stored;
}

int CZarnDoc::RemoveEntry(int index) {
    if (m_list.IsEmpty() ||
        static_cast<unsigned>(index) >= static_cast<unsigned>(m_list.GetCount()))
        return 0;
    CStampListChange change{CStampListChange::Kind::Remove, m_list.GetAt(index),
                            m_list.OccurrenceAt(index)};
    EntryKey current = index == m_nCurrentEntry ? EntryKey{} : CurrentKey();
    // A later entry of the same path moves up to the removed one's place.
    if (current.valid && current.path == change.m_entry.m_strStampFile &&
        current.occurrence > change.m_nOccurrence)
        --current.occurrence;
    m_nCurrentEntry = -1;
    (void)StoreListChange(change); // a failure has been said; the entry goes all the same
    FollowCurrentEntry(current);
    if (IStampListPanel* panel = ListPanel())
        panel->Resync(m_list, m_nCurrentEntry, false);
    return 1;
}

void CZarnDoc::AddToList(const CStampListEntry& entry) {
    const EntryKey current = CurrentKey();
    (void)StoreListChange({CStampListChange::Kind::Put, entry, 0});
    FollowCurrentEntry(current);
    const int index = m_list.FindSame(entry);
    if (IStampListPanel* panel = ListPanel())
        panel->Resync(m_list, index, true); // choosing the row shows the entry
}

void CZarnDoc::ReloadList() {
    // Not while long work runs behind its dialog: the list is taken again once it is done.
    if (m_bInLongWork) {
        m_bReloadWaiting = true;
        return;
    }
    const EntryKey current = CurrentKey();
    if (!m_list.Reload(GetClientSettings()))
        return; // unreadable for the moment: the list stays as it is shown
    FollowCurrentEntry(current);
    if (IStampListPanel* panel = ListPanel())
        panel->Resync(m_list, m_nCurrentEntry, false);
}

void CZarnDoc::OnDeleteFromList() {
    if (IStampListPanel* panel = ListPanel())
        (void)panel->DeleteSelected(); // the removal stores itself
}

bool CZarnDoc::SaveModified() {
    if (!m_list.HasPendingChanges()) {
        SetModifiedFlag(false);
        return true;
    }
    CClientSettings& settings = GetClientSettings();
    const EntryKey current = CurrentKey();
    bool stored = m_list.StorePending(settings);
    while (!stored && OfferRetry())
        stored = m_list.StorePending(settings);
    SetModifiedFlag(!stored);
    if (stored) {
        FollowCurrentEntry(current);
        if (IStampListPanel* panel = ListPanel())
            panel->Resync(m_list, m_nCurrentEntry, false);
        return true;
    }
    return MessageBoxes().Show(FormatRes(IDS_LIST_DISCARD_QUESTION, settings.IniPath()),
                               LoadResString(IDS_APP_TITLE), MsgButtons::YesNo,
                               MsgIcon::Question) == MsgResult::Yes;
}
