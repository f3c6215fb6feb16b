#include "core/TimeStampPart.h"

#include "core/HashAlgorithms.h"
#include "core/StampChecks.h"
#include "core/ValueText.h"
#include "core/tti/tti_decoded.h"
#include "support/ErrorText.h"
#include "support/Messages.h"
#include "support/StringIds.h"
#include "support/SupportFunctions.h"

#include <algorithm>
#include <cstring>

using namespace stamp_checks;

namespace {

// A TAC is read into a buffer of this size; a larger one is refused by the library's -3.
constexpr int kTacBufferSize = 4096;

} // namespace

CTimeStampPart::CTimeStampPart() {
    Reset();
}

CTimeStampPart::~CTimeStampPart() {
    Reset();
}

void CTimeStampPart::Reset() {
    m_pSignerCert.reset();
    m_bStampChecked = false;
    m_trust.reset();
    m_bSourceMatches = false;
    m_token.clear();
    m_tac.clear();
    m_nLastTtiCode = 0;
    m_bTac = false;
    m_bTstInfo = false;
    m_status = {};
    m_tstInfo = {};
    m_timingMetrics = {};
    m_timingPolicy = {};
    m_certInfo = {};
}

std::span<const unsigned char> CTimeStampPart::SignerCertificateDer() const {
    if (!m_pSignerCert)
        return {};
    return m_pSignerCert->Encoded();
}

void CTimeStampPart::BeginOperation() {
    m_strError.clear();
    m_bTstInfo = false;
    m_bTac = false;
    m_bSourceMatches = false;
    m_pSignerCert.reset();
    m_bStampChecked = false;
    m_trust.reset();
}

int CTimeStampPart::ProcessStampFile(const std::string& path) {
    BeginOperation();
    std::vector<unsigned char> bytes;
    if (!ReadWholeFile(path, bytes)) {
        m_strError = FormatRes(IDS_STAMP_FILE_READ_ERROR, path);
        return 0;
    }
    return ProcessStampBytes(bytes);
}

int CTimeStampPart::ProcessStampBytes(std::span<const unsigned char> bytes) {
    BeginOperation();
    const int length = ByteCount(bytes.size());

    // A whole reply, or (when the bytes are no reply at all) a bare token.
    m_status = {};
    m_nLastTtiCode = TTI_GetTSR_Status(&m_status, bytes.data(), length);
    if (m_nLastTtiCode == TTI_E_ASN_FORMAT)
        return ReadTokenAndTac(bytes);
    if (m_nLastTtiCode != TTI_OK) {
        m_strError =
            FormatRes(IDS_TTI_GET_STATUS_FAILED, TtiErrorText(m_nLastTtiCode), BytesAsText(bytes));
        return 0;
    }
    if (!Granted(m_status)) {
        m_strError = NotGrantedMessage(m_status);
        m_nLastTtiCode = TTI_E_NOT_GRANTED;
        return 0;
    }
    std::vector<unsigned char> token(bytes.size());
    int tokenLength = length;
    if (const int rc = TTI_GetTSR_EncodedToken(token.data(), &tokenLength, bytes.data(), length);
        rc != TTI_OK) {
        m_strError = FormatRes(IDS_TTI_GET_TOKEN_FAILED, TtiErrorText(rc));
        return 0;
    }
    token.resize(static_cast<std::size_t>(tokenLength));
    return ReadTokenAndTac(token);
}

// The token's TSTInfo and signature, then its TAC.
int CTimeStampPart::ReadTokenAndTac(std::span<const unsigned char> token) {
    m_tstInfo = {};
    m_tstInfo.nSize = TTI_TSTINFO_SIZE;
    // Decoded once: the TSTInfo, the signature and the TAC all read this one decoding.
    CTtiDecodedToken decoded;
    m_nLastTtiCode = decoded.Decode(token);
    if (m_nLastTtiCode == TTI_OK)
        m_nLastTtiCode = decoded.TstInfo(&m_tstInfo);
    if (m_nLastTtiCode != TTI_OK) {
        m_strError = FormatRes(IDS_TTI_GET_TSTINFO_FAILED, TtiErrorText(m_nLastTtiCode));
        m_bTstInfo = false;
        return 0;
    }
    m_bTstInfo = true;
    m_token.assign(token.begin(), token.end());

    if (!CheckSignature(&decoded, m_token.data(), ByteCount(m_token.size())) || !ReadTac(decoded))
        return 0;
    m_bStampChecked = true;
    return 1;
}

int CTimeStampPart::ReadTac(const CTtiDecodedToken& decoded) {
    std::vector<unsigned char> tac(kTacBufferSize);
    int tacLength = kTacBufferSize;
    m_nLastTtiCode = decoded.TimeAttributeCert(tac.data(), &tacLength);
    if (m_nLastTtiCode == TTI_E_NO_TAC) {
        m_nLastTtiCode = TTI_OK;
        m_bTac = false;
        return 1;
    }
    if (m_nLastTtiCode != TTI_OK) {
        m_strError = FormatRes(IDS_TTI_GET_TAC_FAILED, TtiErrorText(m_nLastTtiCode));
        m_bTac = false;
        return 0;
    }
    m_tac.assign(tac.begin(), tac.begin() + tacLength);
    m_bTac = true;
    // The records describe this TAC or nothing: a step that fails below leaves zeros, never
    // the values of an earlier stamp.
    m_timingMetrics = {};
    m_timingPolicy = {};
    m_certInfo = {};

    m_nLastTtiCode = TTI_GetTAC_TimingMetrics(&m_timingMetrics, m_tac.data(), tacLength);
    if (m_nLastTtiCode != TTI_OK) {
        m_strError = FormatRes(IDS_TTI_TIMING_METRICS_FAILED, TtiErrorText(m_nLastTtiCode));
        return 0;
    }
    // A TAC without a readable timing policy is still a TAC: say so now and go on.
    if (const int rc = TTI_GetTAC_TimingPolicy(&m_timingPolicy, m_tac.data(), tacLength);
        rc != TTI_OK) {
        ErrorBoxF(IDS_TTI_TIMING_POLICY_FAILED, TtiErrorText(rc));
        m_timingPolicy = {};
    }
    m_certInfo.nSize = TTI_CERTINFO_SIZE;
    m_nLastTtiCode = TTI_GetTAC_CertInfo(&m_certInfo, m_tac.data(), tacLength);
    if (m_nLastTtiCode != TTI_OK) {
        m_strError = FormatRes(IDS_TTI_CERT_INFO_FAILED, TtiErrorText(m_nLastTtiCode));
        return 0;
    }
    return 1;
}

int CTimeStampPart::VerifySourceFile(const std::string& stampPath, const std::string& sourcePath) {
    if (!ProcessStampFile(stampPath))
        return 0;
    unsigned char digest[kDigestBufferSize] = {};
    int32_t digestLength = 0;
    const int rc = FileDigest(sourcePath, m_tstInfo.szHashOid, digest, digestLength);
    m_bSourceMatches =
        rc == RESULT_OK && digestLength == m_tstInfo.nDigestLen && digestLength >= 0 &&
        static_cast<std::size_t>(digestLength) <= sizeof m_tstInfo.digest &&
        std::memcmp(digest, m_tstInfo.digest, static_cast<std::size_t>(digestLength)) == 0;
    if (m_bSourceMatches)
        return 1;
    std::string text;
    if (rc != RESULT_OK && ResultCodeText(rc, text))
        m_strError = FormatText(text, sourcePath);
    else
        m_strError = FormatRes(IDS_DIGEST_MISMATCH);
    return 0;
}
