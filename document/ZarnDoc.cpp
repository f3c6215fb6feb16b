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
        LoadEntry(m_list.GetAt(index));
        m_nCurrentEntry = index;
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
    const bool matches = checked && VerifySourceFile(entry.m_strStampFile, entry.m_strSourceFile);
    if (checked)
        JudgeShownStamp();
    m_detailTexts = ReadDetailTexts(*this, checked, &m_verdicts);
    if (checked) {
        if (!matches)
            ErrorBox(ErrorText());
        SetTitle(entry.m_strStampFile);
    }
    m_currentEntry = std::move(entry);
    UpdateAllViews(nullptr);
}

int CZarnDoc::RemoveEntry(int index) {
    if (m_list.IsEmpty() ||
        static_cast<unsigned>(index) >= static_cast<unsigned>(m_list.GetCount()))
        return 0;
    if (index == m_nCurrentEntry)
        m_nCurrentEntry = -1;
    return m_list.RemoveAt(index) ? 1 : 0;
}

void CZarnDoc::AddToList(const CStampListEntry& entry) {
    m_list.AddOrReplace(entry, ListPanel());
    SetModifiedFlag(true);
}

void CZarnDoc::OnDeleteFromList() {
    IStampListPanel* panel = ListPanel();
    if (panel == nullptr)
        return;
    if (panel->DeleteSelected() != 0)
        SetModifiedFlag(true);
}

bool CZarnDoc::SaveModified() {
    if (IsModified()) {
        CClientSettings& settings = GetClientSettings();
        bool written = false;
        SaveStampList(settings, m_list, &written);
        if (written) {
            SetModifiedFlag(false);
        } else {
            // The list stays marked, so that the next save point tries again; the user
            // learns now that the list is not stored.
            ErrorBoxWithSystemErrorF(IDS_WRITE_ERROR, settings.IniPath());
        }
    }
    return true;
}
