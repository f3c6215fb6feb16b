// Showing a listed stamp: the check of its stamp file against its source file, and the 25
// display texts made from the decoded records.
#include "document/ZarnDoc.h"

#include "core/HashAlgorithms.h"
#include "core/ValueText.h"
#include "support/Conversions.h"
#include "support/ErrorText.h"
#include "support/Messages.h"
#include "support/StringIds.h"

namespace {

// A float in printf's general notation, six significant digits.
std::string NumberText(float value) {
    return FormatText("%g", static_cast<double>(value));
}

std::string AnsiText(std::string_view utf8) {
    std::string text;
    Utf8ToAnsi(utf8, text);
    return text;
}

std::string AccuracyText(const TTI_TSTINFO& info) {
    const bool millis = info.nAccuracyMillis != 0, micros = info.nAccuracyMicros != 0;
    if (info.nAccuracySec != 0) {
        std::string text = std::to_string(info.nAccuracySec) + LoadResString(IDS_UNIT_SECONDS);
        if (millis || micros)
            text += " " + LoadResString(IDS_ACCURACY_UNEXPECTED);
        return text;
    }
    if (millis) {
        std::string text =
            std::to_string(info.nAccuracyMillis) + LoadResString(IDS_UNIT_MILLISECONDS);
        if (micros)
            text += " " + LoadResString(IDS_ACCURACY_UNEXPECTED);
        return text;
    }
    if (micros)
        return std::to_string(info.nAccuracyMicros) + LoadResString(IDS_UNIT_MICROSECONDS);
    return LoadResString(IDS_ACCURACY_UNKNOWN);
}

} // namespace

void CZarnDoc::LoadEntry(CStampListEntry entry) {
    ClearDisplay();
    m_mtr_strNtpTime = LoadResString(IDS_NO_TAC_FOUND);
    m_tac_strVersion = LoadResString(IDS_NO_TAC_FOUND);
    std::string text;
    if (ResultCodeText(RESULT_E_STAMP, text))
        m_hash_verif_msg = text;

    if (!entry.m_strStampFile.empty()) {
        if (VerifySourceFile(entry.m_strStampFile, entry.m_strSourceFile)) {
            m_hash_verif_msg = LoadResString(IDS_STAMP_OK);
        } else {
            m_verif_msg = ErrorText();
            ErrorBox(ErrorText());
        }
        // The details come from the stamp file whenever it could be decoded, also when the
        // source does not match.
        if (HasTstInfo())
            FillTokenTexts();
        if (HasTac())
            FillTacTexts();
        SetTitle(entry.m_strStampFile);
    }
    m_currentEntry = std::move(entry);
    UpdateAllViews(nullptr);
}

void CZarnDoc::FillTokenTexts() {
    const TTI_TSTINFO& info = TstInfo();
    m_strClockName = AnsiText(FieldText(info.szTsaName));
    m_strUTCTime = FormatGenTime(FieldText(info.szGenTime));
    m_strQuality = AccuracyText(info);
    m_strSerialNumber = SerialText(info.serial, info.nSerialLen);
    m_strVersion = std::to_string(info.nVersion);
    const HashAlgorithm* algorithm = HashAlgorithmByOid(std::string(FieldText(info.szHashOid)));
    m_strHashAlgorithm = algorithm != nullptr ? algorithm->szName : LoadResString(IDS_INVALID_DATA);
    m_strNonce = SerialText(info.nonce, info.nNonceLen);
    m_strPolicyOid = FieldText(info.szPolicyOid);
}

void CZarnDoc::FillTacTexts() {
    const TTI_TIMING_METRICS& metrics = TimingMetrics();
    const TTI_TIMING_POLICY& policy = TimingPolicy();
    const TTI_CERT_INFO& cert = CertInfo();
    m_mtr_strNtpTime = FormatGenTime(FieldText(metrics.szNtpTime));
    m_mtr_strExpiration = FormatGenTime(FieldText(metrics.szExpiration));
    // Seconds shown as milliseconds, computed in single precision.
    const float offsetMs = metrics.fOffset * 1000.0f;
    const float delayMs = metrics.fDelay * 1000.0f;
    m_mtr_strOffset = NumberText(offsetMs) + LoadResString(IDS_UNIT_MILLISECONDS);
    m_mtr_strDelay = NumberText(delayMs) + LoadResString(IDS_UNIT_MILLISECONDS);
    m_mtr_strPolicyOID = FieldText(policy.szPolicyOid);
    m_mtr_strMaxDelay = NumberText(policy.fMaxDelay);
    m_mtr_strMaxOffset = NumberText(policy.fMaxOffset);
    m_tac_strVersion = std::to_string(cert.nVersion);
    m_tac_strHolder = AnsiText(FieldText(cert.szHolder));
    m_tac_strHolderThumbprint = HexText(cert.holderThumb, cert.nHolderThumbLen);
    m_tac_strIssuer = FieldText(cert.szIssuer);
    m_tac_strSerialNumber = SerialText(cert.serial, cert.nSerialLen);
    m_tac_strSignature = HexText(cert.signature, cert.nSignatureLen);
    m_tac_strValidFrom = FormatGenTime(FieldText(cert.szValidFrom));
    m_tac_strValidUntil = FormatGenTime(FieldText(cert.szValidTo));
}
