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

void Line(const char* name, std::string_view value) {
    std::printf("%s: %.*s\n", name, static_cast<int>(value.size()), value.data());
}

void PrintTac(const std::vector<unsigned char>& tac) {
    const int length = static_cast<int>(tac.size());
    TTI_TIMING_METRICS metrics{};
    int rc = TTI_GetTAC_TimingMetrics(&metrics, tac.data(), length);
    if (rc != TTI_OK) {
        ErrorBoxF(IDS_TTI_TIMING_METRICS_FAILED, TtiErrorText(rc));
    } else {
        Line("tac.ntp_time", FieldText(metrics.szNtpTime));
        Line("tac.offset", FormatText("%g", metrics.fOffset));
        Line("tac.delay", FormatText("%g", metrics.fDelay));
        Line("tac.expiration", FieldText(metrics.szExpiration));
    }
    TTI_TIMING_POLICY policy{};
    rc = TTI_GetTAC_TimingPolicy(&policy, tac.data(), length);
    if (rc != TTI_OK) {
        ErrorBoxF(IDS_TTI_TIMING_POLICY_FAILED, TtiErrorText(rc));
    } else {
        Line("tac.policy", FieldText(policy.szPolicyOid));
        Line("tac.max_offset", FormatText("%g", policy.fMaxOffset));
        Line("tac.max_delay", FormatText("%g", policy.fMaxDelay));
    }
    TTI_CERT_INFO info{};
    info.nSize = TTI_CERTINFO_SIZE;
    rc = TTI_GetTAC_CertInfo(&info, tac.data(), length);
    if (rc != TTI_OK) {
        ErrorBoxF(IDS_TTI_CERT_INFO_FAILED, TtiErrorText(rc));
        return;
    }
    Line("tac.version", std::to_string(info.nVersion));
    Line("tac.holder", FieldText(info.szHolder));
    Line("tac.holder_thumbprint", HexText(info.holderThumb, info.nHolderThumbLen));
    Line("tac.issuer", FieldText(info.szIssuer));
    Line("tac.serial", SerialText(info.serial, info.nSerialLen));
    Line("tac.valid_from", FieldText(info.szValidFrom));
    Line("tac.valid_until", FieldText(info.szValidTo));
    Line("tac.signature_algorithm", FieldText(info.szSignatureAlgOid));
    Line("tac.signature", HexText(info.signature, info.nSignatureLen));
}

} // namespace

int CmdDigest(const Args& args) {
    int code = 2;
    std::string path;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--hash") {
            if (++i == args.size())
                return UsageError("--hash potřebuje kód algoritmu 0 až 4");
            const std::string& v = args[i];
            if (v.size() != 1 || v[0] < '0' || v[0] > '4')
                return UsageError("neplatný kód algoritmu '" + v + "' (0 až 4)");
            code = v[0] - '0';
        } else if (path.empty() && (args[i].empty() || args[i][0] != '-' || args[i] == "-")) {
            path = args[i];
        } else {
            return UsageError("nečekaný argument '" + args[i] + "'");
        }
    }
    if (path.empty())
        return UsageError("chybí soubor");

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

int CmdDecode(const Args& args) {
    if (args.size() != 1 || args[0].empty())
        return UsageError("decode potřebuje právě jeden soubor s razítkem");
    const std::string& path = args[0];
    std::vector<unsigned char> bytes;
    if (!ReadWholeFile(path, bytes) || bytes.size() > INT_MAX) {
        ErrorBoxWithSystemError(FormatRes(IDS_STAMP_FILE_READ_ERROR, path));
        return EXIT_FAILED;
    }
    const int fileLength = static_cast<int>(bytes.size());

    // A reply or a bare token: the content decides, not the extension.
    std::vector<unsigned char> token;
    TTI_STATUS status{};
    int rc = TTI_GetTSR_Status(&status, bytes.data(), fileLength);
    if (rc == TTI_E_ASN_FORMAT) {
        Line("kind", "token");
        token = bytes;
    } else if (rc != TTI_OK) {
        ErrorBoxF(IDS_TTI_GET_STATUS_FAILED, TtiErrorText(rc), BytesAsText(bytes));
        return EXIT_FAILED;
    } else {
        Line("kind", "reply");
        Line("status", std::to_string(status.nStatus));
        Line("status_text", FieldText(status.szStatusText));
        Line("failure_info", std::to_string(status.nFailInfo));
        if (status.nStatus != 0 && status.nStatus != 1) {
            ErrorBoxF(IDS_TTI_NOT_GRANTED_STATUS, status.nStatus, status.nFailInfo,
                      FieldText(status.szStatusText));
            return EXIT_FAILED;
        }
        token.resize(bytes.size());
        int tokenLength = fileLength;
        rc = TTI_GetTSR_EncodedToken(token.data(), &tokenLength, bytes.data(), fileLength);
        if (rc != TTI_OK) {
            ErrorBoxF(IDS_TTI_GET_TOKEN_FAILED, TtiErrorText(rc));
            return EXIT_FAILED;
        }
        token.resize(static_cast<std::size_t>(tokenLength));
    }

    TTI_TSTINFO info{};
    info.nSize = TTI_TSTINFO_SIZE;
    rc = TTI_GetTST_TSTInfo(&info, token.data(), static_cast<int>(token.size()));
    if (rc != TTI_OK) {
        ErrorBoxF(IDS_TTI_GET_TSTINFO_FAILED, TtiErrorText(rc));
        return EXIT_FAILED;
    }
    const std::string hashOid(FieldText(info.szHashOid));
    const HashAlgorithm* alg = HashAlgorithmByOid(hashOid);
    Line("version", std::to_string(info.nVersion));
    Line("policy", FieldText(info.szPolicyOid));
    Line("hash_algorithm",
         alg != nullptr ? std::string(alg->szName) + " (" + hashOid + ")" : hashOid);
    Line("digest", DigestHexText(info.digest, info.nDigestLen));
    Line("serial", SerialText(info.serial, info.nSerialLen));
    Line("gen_time", FieldText(info.szGenTime));
    Line("accuracy", FormatText("seconds=%d millis=%d micros=%d", info.nAccuracySec,
                                info.nAccuracyMillis, info.nAccuracyMicros));
    Line("ordering", std::to_string(info.nOrdering));
    Line("nonce", info.nNonceLen > 0 ? SerialText(info.nonce, info.nNonceLen) : "none");
    Line("tsa_name", FieldText(info.szTsaName));

    std::vector<unsigned char> tac(4096);
    int tacLength = static_cast<int>(tac.size());
    rc = TTI_GetTST_TimeAttributeCert(tac.data(), &tacLength, token.data(),
                                      static_cast<int>(token.size()));
    if (rc == TTI_E_NO_TAC) {
        Line("tac", "none");
    } else if (rc != TTI_OK) {
        ErrorBoxF(IDS_TTI_GET_TAC_FAILED, TtiErrorText(rc));
        return EXIT_FAILED;
    } else {
        tac.resize(static_cast<std::size_t>(tacLength));
        Line("tac", "present");
        PrintTac(tac);
    }
    return EXIT_OK;
}
