// digest and decode: look at a file or a stamp without the network.
#include "cli/CliCommands.h"

#include "core/HashAlgorithms.h"
#include "core/ValueText.h"
#include "core/tti/tti.h"
#include "support/ErrorText.h"
#include "support/Messages.h"
#include "support/StringIds.h"
#include "support/SupportFunctions.h"

#include <climits>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace {

// The records of a stamp file as "name: value" lines, printed only once the whole file was
// read: a file that fails half-way prints nothing on standard output.
class Lines {
public:
    void Add(std::string_view name, std::string_view value) {
        m_text.append(name).append(": ").append(value).append("\n");
    }
    void Print() const { std::fwrite(m_text.data(), 1, m_text.size(), stdout); }

private:
    std::string m_text;
};

void AddTac(const std::vector<unsigned char>& tac, Lines& out) {
    const int length = static_cast<int>(tac.size());
    TTI_TIMING_METRICS metrics{};
    int rc = TTI_GetTAC_TimingMetrics(&metrics, tac.data(), length);
    if (rc != TTI_OK) {
        ErrorBoxF(IDS_TTI_TIMING_METRICS_FAILED, TtiErrorText(rc));
    } else {
        out.Add("tac.ntp_time", FieldText(metrics.szNtpTime));
        out.Add("tac.offset", FormatText("%g", metrics.fOffset));
        out.Add("tac.delay", FormatText("%g", metrics.fDelay));
        out.Add("tac.expiration", FieldText(metrics.szExpiration));
    }
    TTI_TIMING_POLICY policy{};
    rc = TTI_GetTAC_TimingPolicy(&policy, tac.data(), length);
    if (rc != TTI_OK) {
        ErrorBoxF(IDS_TTI_TIMING_POLICY_FAILED, TtiErrorText(rc));
    } else {
        out.Add("tac.policy", FieldText(policy.szPolicyOid));
        out.Add("tac.max_offset", FormatText("%g", policy.fMaxOffset));
        out.Add("tac.max_delay", FormatText("%g", policy.fMaxDelay));
    }
    TTI_CERT_INFO info{};
    info.nSize = TTI_CERTINFO_SIZE;
    rc = TTI_GetTAC_CertInfo(&info, tac.data(), length);
    if (rc != TTI_OK) {
        ErrorBoxF(IDS_TTI_CERT_INFO_FAILED, TtiErrorText(rc));
        return;
    }
    out.Add("tac.version", std::to_string(info.nVersion));
    out.Add("tac.holder", FieldText(info.szHolder));
    out.Add("tac.holder_thumbprint", HexText(info.holderThumb, info.nHolderThumbLen));
    out.Add("tac.issuer", FieldText(info.szIssuer));
    out.Add("tac.serial", SerialText(info.serial, info.nSerialLen));
    out.Add("tac.valid_from", FieldText(info.szValidFrom));
    out.Add("tac.valid_until", FieldText(info.szValidTo));
    out.Add("tac.signature_algorithm", FieldText(info.szSignatureAlgOid));
    out.Add("tac.signature", HexText(info.signature, info.nSignatureLen));
}

// The token of a stamp file: the file itself when it is a bare token, else the reply's token
// after its status lines. False after an error box.
bool ReadToken(const std::vector<unsigned char>& bytes, std::vector<unsigned char>& token,
               Lines& out) {
    const int fileLength = static_cast<int>(bytes.size());
    TTI_STATUS status{};
    int rc = TTI_GetTSR_Status(&status, bytes.data(), fileLength);
    if (rc == TTI_E_ASN_FORMAT) {
        out.Add("kind", "token");
        token = bytes;
        return true;
    }
    if (rc != TTI_OK) {
        ErrorBoxF(IDS_TTI_GET_STATUS_FAILED, TtiErrorText(rc), BytesAsText(bytes));
        return false;
    }
    out.Add("kind", "reply");
    out.Add("status", std::to_string(status.nStatus));
    out.Add("status_text", FieldText(status.szStatusText));
    out.Add("failure_info", std::to_string(status.nFailInfo));
    if (status.nStatus != 0 && status.nStatus != 1) {
        ErrorBoxF(IDS_TTI_NOT_GRANTED_STATUS, status.nStatus, status.nFailInfo,
                  FieldText(status.szStatusText));
        return false;
    }
    token.resize(bytes.size());
    int tokenLength = fileLength;
    rc = TTI_GetTSR_EncodedToken(token.data(), &tokenLength, bytes.data(), fileLength);
    if (rc != TTI_OK) {
        ErrorBoxF(IDS_TTI_GET_TOKEN_FAILED, TtiErrorText(rc));
        return false;
    }
    token.resize(static_cast<std::size_t>(tokenLength));
    return true;
}

// The token's TSTInfo and TAC. False after an error box.
bool AddTokenRecords(const std::vector<unsigned char>& token, Lines& out) {
    TTI_TSTINFO info{};
    info.nSize = TTI_TSTINFO_SIZE;
    int rc = TTI_GetTST_TSTInfo(&info, token.data(), static_cast<int>(token.size()));
    if (rc != TTI_OK) {
        ErrorBoxF(IDS_TTI_GET_TSTINFO_FAILED, TtiErrorText(rc));
        return false;
    }
    const std::string hashOid(FieldText(info.szHashOid));
    const HashAlgorithm* alg = HashAlgorithmByOid(hashOid);
    out.Add("version", std::to_string(info.nVersion));
    out.Add("policy", FieldText(info.szPolicyOid));
    out.Add("hash_algorithm",
            alg != nullptr ? std::string(alg->szName) + " (" + hashOid + ")" : hashOid);
    out.Add("digest", DigestHexText(info.digest, info.nDigestLen));
    out.Add("serial", SerialText(info.serial, info.nSerialLen));
    out.Add("gen_time", FieldText(info.szGenTime));
    out.Add("accuracy", FormatText("seconds=%d millis=%d micros=%d", info.nAccuracySec,
                                   info.nAccuracyMillis, info.nAccuracyMicros));
    out.Add("ordering", std::to_string(info.nOrdering));
    out.Add("nonce", info.nNonceLen > 0 ? SerialText(info.nonce, info.nNonceLen) : "none");
    out.Add("tsa_name", FieldText(info.szTsaName));

    std::vector<unsigned char> tac(4096);
    int tacLength = static_cast<int>(tac.size());
    rc = TTI_GetTST_TimeAttributeCert(tac.data(), &tacLength, token.data(),
                                      static_cast<int>(token.size()));
    if (rc == TTI_E_NO_TAC) {
        out.Add("tac", "none");
    } else if (rc != TTI_OK) {
        ErrorBoxF(IDS_TTI_GET_TAC_FAILED, TtiErrorText(rc));
        return false;
    } else {
        tac.resize(static_cast<std::size_t>(tacLength));
        out.Add("tac", "present");
        AddTac(tac, out);
    }
    return true;
}

} // namespace

int CmdDigest(const CliArgs& args) {
    int code = -1;
    if (!HashCodeOption(args, code))
        return UsageError(FormatRes(IDS_CLI_BAD_HASH_CODE, args.Value(kOptHash)));
    if (code < 0)
        code = 2; // SHA-256
    const std::string& path = args.plain[0];
    if (path.empty())
        return MissingArgumentError(args);

    unsigned char digest[kDigestBufferSize];
    std::int32_t length = 0;
    const int rc = FileDigest(path, HashAlgorithmByCode(code)->szOid, digest, length);
    if (rc != RESULT_OK) {
        std::string text;
        if (ResultCodeText(rc, text))
            ErrorBoxWithSystemError(FormatText(text, path));
        return EXIT_FAILED;
    }
    std::printf("%s\n", DigestHexText(digest, length).c_str());
    return EXIT_OK;
}

int CmdDecode(const CliArgs& args) {
    const std::string& path = args.plain[0];
    if (path.empty())
        return MissingArgumentError(args);
    std::vector<unsigned char> bytes;
    if (!ReadWholeFile(path, bytes) || bytes.size() > INT_MAX) {
        ErrorBoxWithSystemError(FormatRes(IDS_STAMP_FILE_READ_ERROR, path));
        return EXIT_FAILED;
    }
    // A reply or a bare token: the content decides, not the extension.
    Lines out;
    std::vector<unsigned char> token;
    if (!ReadToken(bytes, token, out) || !AddTokenRecords(token, out))
        return EXIT_FAILED;
    out.Print();
    return EXIT_OK;
}
