// One decoded time stamp: the token and its TAC, the records the library fills from them,
// the flags that say which of them are valid, the TSA's certificate and the message of the
// latest failure. Its checks prove that a fresh reply answers our request
// (CheckFreshReply), that a stamp file is a stamp signed by its TSA (ProcessStampFile) and
// that a source file is the one stamped (VerifySourceFile).
//
// The checks never show anything (with one exception, ProcessStampFile's timing policy):
// each answers 1 or 0 and leaves its message in ErrorText() for the caller to show.
//
// Its methods live in TimeStampPart.cpp (ProcessStampFile, VerifySourceFile, the TAC),
// StampChecks.cpp (CheckFreshReply and its steps), TokenSignature.cpp (VerifyTokenSignature)
// and TrustEvaluator.cpp (EvaluateSignerTrust).
#pragma once

#include "core/TrustVerdict.h"
#include "core/tti/tti.h"
#include "platform/CertServices.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

class CTtiDecodedToken;
struct TrustOptions;

class CTimeStampPart {
public:
    // Every member empty, zero or null, as after Reset.
    CTimeStampPart();
    virtual ~CTimeStampPart();
    CTimeStampPart(const CTimeStampPart&) = delete;
    CTimeStampPart& operator=(const CTimeStampPart&) = delete;

    // Releases the signer certificate, clears the flags, empties the token and the TAC,
    // sets the last library code to 0 and zeroes the records. The error text stays.
    void Reset();

    // Checks a reply that has just come back for `request`: status, token, TSTInfo,
    // imprint, policy (when the request named one), nonce, a generation time within five
    // minutes of Clock(), and the TSA's signature. 1 when every check passed: `token` then
    // holds the token and the part the signer's certificate. The part's records are not
    // filled.
    [[nodiscard]] int CheckFreshReply(const TTI_REQUEST& request,
                                      std::span<const unsigned char> reply,
                                      std::vector<unsigned char>& token);

    // Decodes the stamp file at `path` (a whole reply, or a bare token) into the part,
    // checks its signature and reads its TAC. 1 when the file was decoded, its signature
    // verified and the TAC steps passed (a stamp without a TAC is a valid stamp). A TAC
    // without a readable timing policy is reported at once in an error box and does not
    // fail the operation.
    [[nodiscard]] int ProcessStampFile(const std::string& path);
    // ProcessStampFile on bytes already read.
    [[nodiscard]] int ProcessStampBytes(std::span<const unsigned char> bytes);

    // ProcessStampFile(stampPath), then the digest of the source file compared with the
    // token's imprint. 1 when they are equal; the source-matches flag tells the same.
    [[nodiscard]] int VerifySourceFile(const std::string& stampPath, const std::string& sourcePath);

    // The token's signature: the certificate services first, our library's broader check
    // when they do not know the algorithms. 1 when it verifies; the part then holds the
    // signer's certificate. An empty token answers 0 without a message.
    [[nodiscard]] int VerifyTokenSignature(const unsigned char* token, int length);

    // The trust verdict on the signer of the stamp that the last ProcessStampFile or
    // VerifySourceFile checked (core/TrustEvaluator.h), kept in SignerTrust() until the next
    // operation. Asked for by whoever shows the stamp, not run by every ProcessStampFile: the
    // list reads every listed stamp at start-up and must not look up revocation for each.
    // False, with nothing kept, when the part holds no stamp that passed those checks.
    [[nodiscard]] bool EvaluateSignerTrust(const TrustOptions& options);
    const std::optional<TrustResult>& SignerTrust() const { return m_trust; }

    // ---- What the document and the stamp details read ----------------------------------

    const std::vector<unsigned char>& Token() const { return m_token; }
    const TTI_STATUS& Status() const { return m_status; }
    const TTI_TSTINFO& TstInfo() const { return m_tstInfo; }
    // The TSTInfo record was filled from the token.
    bool HasTstInfo() const { return m_bTstInfo; }
    // The token carried a TAC and it was extracted.
    bool HasTac() const { return m_bTac; }
    const std::vector<unsigned char>& Tac() const { return m_tac; }
    const TTI_TIMING_METRICS& TimingMetrics() const { return m_timingMetrics; }
    const TTI_TIMING_POLICY& TimingPolicy() const { return m_timingPolicy; }
    const TTI_CERT_INFO& CertInfo() const { return m_certInfo; }
    // Set by VerifySourceFile: the source file's digest is the token's imprint.
    bool SourceMatches() const { return m_bSourceMatches; }
    // The TSA's certificate (owned by the part; null when there is none).
    PCCERT_CONTEXT SignerCertificate() const { return m_pSignerCert.get(); }
    // Its DER bytes; empty when there is none.
    std::span<const unsigned char> SignerCertificateDer() const;
    // The code of the latest status, TSTInfo or TAC step; -9 when the reply was refused.
    int LastTtiCode() const { return m_nLastTtiCode; }
    // The message of the latest failure; emptied when an operation starts.
    const std::string& ErrorText() const { return m_strError; }

private:
    // What every operation does first: no message, and nothing that an earlier stamp left
    // may claim validity for this one (flags, signer certificate).
    void BeginOperation();
    int ReadTokenAndTac(std::span<const unsigned char> token);
    int ReadTac(const CTtiDecodedToken& decoded);
    // VerifyTokenSignature, on the decoding of the same bytes when `decoded` is not null.
    int CheckSignature(const CTtiDecodedToken* decoded, const unsigned char* token, int length);

    std::vector<unsigned char> m_token;
    TTI_STATUS m_status;
    TTI_TSTINFO m_tstInfo;
    bool m_bTstInfo = false;
    bool m_bTac = false;
    std::vector<unsigned char> m_tac;
    TTI_TIMING_METRICS m_timingMetrics;
    TTI_TIMING_POLICY m_timingPolicy;
    TTI_CERT_INFO m_certInfo;
    bool m_bSourceMatches = false;
    UniqueCertContext m_pSignerCert;
    int m_nLastTtiCode = 0;
    std::string m_strError;
    bool m_bStampChecked = false; // the last ProcessStampFile passed
    std::optional<TrustResult> m_trust;
};

// The signer look-up of the signature check: the certificates that travel with the token
// first, then the user's address book. A new context, or null.
PCCERT_CONTEXT GetSignerCertificate(void* arg, uint32_t encodingType, const CertSignerId& signerId,
                                    HCERTSTORE messageStore);
