#include "document/ZarnDoc.h"

#include "core/ClientSettings.h"
#include "document/IFrontEnd.h"
#include "support/Messages.h"
#include "support/StringIds.h"

namespace {

// Which member each published field name stands for.
struct FieldMember {
    std::string_view name;
    std::string CZarnDoc::*member;
};

constexpr FieldMember kFields[] = {
    {"m_hash_verif_msg", &CZarnDoc::m_hash_verif_msg},
    {"m_verif_msg", &CZarnDoc::m_verif_msg},
    {"m_strClockName", &CZarnDoc::m_strClockName},
    {"m_strUTCTime", &CZarnDoc::m_strUTCTime},
    {"m_strQuality", &CZarnDoc::m_strQuality},
    {"m_strSerialNumber", &CZarnDoc::m_strSerialNumber},
    {"m_strVersion", &CZarnDoc::m_strVersion},
    {"m_strHashAlgorithm", &CZarnDoc::m_strHashAlgorithm},
    {"m_strNonce", &CZarnDoc::m_strNonce},
    {"m_strPolicyOid", &CZarnDoc::m_strPolicyOid},
    {"m_mtr_strNtpTime", &CZarnDoc::m_mtr_strNtpTime},
    {"m_mtr_strExpiration", &CZarnDoc::m_mtr_strExpiration},
    {"m_mtr_strOffset", &CZarnDoc::m_mtr_strOffset},
    {"m_mtr_strDelay", &CZarnDoc::m_mtr_strDelay},
    {"m_mtr_strPolicyOID", &CZarnDoc::m_mtr_strPolicyOID},
    {"m_mtr_strMaxDelay", &CZarnDoc::m_mtr_strMaxDelay},
    {"m_mtr_strMaxOffset", &CZarnDoc::m_mtr_strMaxOffset},
    {"m_tac_strVersion", &CZarnDoc::m_tac_strVersion},
    {"m_tac_strHolder", &CZarnDoc::m_tac_strHolder},
    {"m_tac_strIssuer", &CZarnDoc::m_tac_strIssuer},
    {"m_tac_strHolderThumbprint", &CZarnDoc::m_tac_strHolderThumbprint},
    {"m_tac_strValidFrom", &CZarnDoc::m_tac_strValidFrom},
    {"m_tac_strValidUntil", &CZarnDoc::m_tac_strValidUntil},
    {"m_tac_strSerialNumber", &CZarnDoc::m_tac_strSerialNumber},
    {"m_tac_strSignature", &CZarnDoc::m_tac_strSignature},
};
static_assert(std::size(kFields) == 25);

} // namespace

CZarnDoc::CZarnDoc(CStampList& list) : m_stampExtensions{".tsr", ".tst"}, m_list(list) {
    Reset();
}

CZarnDoc::~CZarnDoc() {
    Reset();
}

const std::array<std::string_view, 25>& CZarnDoc::DisplayFieldNames() {
    static const std::array<std::string_view, 25> names = [] {
        std::array<std::string_view, 25> n{};
        for (std::size_t i = 0; i < n.size(); ++i)
            n[i] = kFields[i].name;
        return n;
    }();
    return names;
}

const std::string* CZarnDoc::DisplayField(std::string_view name) const {
    for (const auto& f : kFields)
        if (f.name == name)
            return &(this->*f.member);
    return nullptr;
}

std::string CZarnDoc::GetFieldValue(std::string_view name) const {
    if (name == "m_file_name")
        return m_currentEntry.m_strStampFile;
    if (name == "m_doc_name")
        return m_currentEntry.m_strSourceFile;
    const std::string* field = DisplayField(name);
    return field != nullptr ? *field : std::string();
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
    for (const auto& f : kFields)
        (this->*f.member).clear();
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
