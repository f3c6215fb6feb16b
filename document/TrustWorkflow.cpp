// The verdicts of the shown and the verified stamp, and trusting the shown stamp's
// authority on purpose.
#include "document/ZarnDoc.h"

#include "core/ClientSettings.h"
#include "core/TrustFolders.h"
#include "document/IFrontEnd.h"
#include "platform/ConfigDirs.h"
#include "support/ErrorText.h"
#include "support/Messages.h"
#include "support/StringIds.h"

void CZarnDoc::JudgeShownStamp() {
    // The signer is judged whenever the stamp itself passed its checks, also when the source
    // file does not match: the page then shows both.
    if (!EvaluateSignerTrust(VerdictOptionsFromSettings(GetClientSettings())))
        return;
    m_verdicts.trust = SignerTrust();
    m_verdicts.qualified = QualifyPart(*this);
}

std::string CZarnDoc::JudgeVerification(const CTimeStampPart& part) {
    m_lastVerification = JudgeStamp(part, VerdictOptionsFromSettings(GetClientSettings()));
    return VerdictLines(m_lastVerification);
}

std::optional<RowVerdict> CZarnDoc::ShownEntryVerdict() const {
    if (m_currentEntry.m_strStampFile.empty())
        return std::nullopt;
    // A stamp that does not match its source is marked so, whatever its signer.
    return RowVerdictOf(SourceMatches() ? m_verdicts : StampVerdicts{}, ErrorText());
}

bool CZarnDoc::TrustShownAuthority() {
    if (!m_verdicts.Judged())
        return false; // only a stamp that passed its checks has an authority worth trusting
    const trust::X509Ptr top = StampChainTop(*this);
    if (!top)
        return false;
    const TrustedCertificate described = DescribeCertificate(top.get());
    if (MessageBoxes().Show(
            FormatRes(IDS_TRUST_AUTHORITY_QUESTION, described.subject, described.sha256),
            LoadResString(IDS_APP_TITLE), MsgButtons::YesNo, MsgIcon::Question) != MsgResult::Yes)
        return false;
    std::string path;
    if (!AddTrustAnchor(top.get(), path)) {
        ErrorBoxWithSystemErrorF(IDS_WRITE_ERROR, WritableTrustDir());
        return false;
    }
    // Later stamps of this authority that carry no certificate are verified with this one.
    const PCCERT_CONTEXT signer = SignerCertificate();
    if (signer != nullptr && !AddToAddressBook(signer->Cert(), path))
        ErrorBoxWithSystemErrorF(IDS_WRITE_ERROR, AddressBookDir());
    JudgeShownEntryAgain();
    return true;
}

void CZarnDoc::JudgeShownEntryAgain() {
    if (m_currentEntry.m_strStampFile.empty())
        return;
    IStampListPanel* panel = ListPanel();
    if (m_nCurrentEntry >= 0 && panel != nullptr && panel->SelectRow(m_nCurrentEntry) != 0)
        return;
    const int index = m_nCurrentEntry;
    LoadEntry(m_currentEntry);
    m_nCurrentEntry = index;
}
