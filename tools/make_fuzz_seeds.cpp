// Writes seed inputs for the time-stamp fuzz targets: factory replies, tokens and TACs,
// and (when given the folder) the real TSA samples, into <corpus>/<target>/.
//
//   make_fuzz_seeds fuzz/corpus [tests/data/real-tokens]
#include "core/tti/tti.h"
#include "tools/TokenFactory.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <stdexcept>
#include <string>

namespace fs = std::filesystem;
using mivo::test::Bytes;
using mivo::test::KeyKind;
using mivo::test::StatusSpec;
using mivo::test::TacSpec;
using mivo::test::TokenFactory;
using mivo::test::TokenSpec;

namespace {

void Write(const fs::path& dir, const std::string& name, const Bytes& bytes) {
    fs::create_directories(dir);
    std::ofstream out(dir / name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

Bytes Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path.string());
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s CORPUS_DIR [REAL_TOKENS_DIR]\n", argv[0]);
        return 2;
    }
    const fs::path corpus = argv[1];

    TokenSpec full;
    full.nonce = Bytes{0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
    full.accuracy = mivo::test::AccuracySpec{1, 500, 100};
    full.genTime = "20250509115855.123Z";
    full.tsaName = mivo::test::GeneralNameSpec{};
    full.tsaName->dirName = {{"C", "CZ"}, {"O", "Mivo Test"}, {"CN", "Mivo TSA"}};
    full.tac = TacSpec{};
    TokenSpec ecdsa;
    ecdsa.key = KeyKind::Ecdsa;
    ecdsa.tac = TacSpec{};
    ecdsa.tac->holderBaseCertificateId = true;
    TokenSpec pss;
    pss.key = KeyKind::RsaPss;
    pss.includeSignerCert = false;

    const std::map<std::string, Bytes> tokens = {
        {"factory-rsa-full.tst", TokenFactory::Token(full)},
        {"factory-ecdsa-tac.tst", TokenFactory::Token(ecdsa)},
        {"factory-pss-nocert.tst", TokenFactory::Token(pss)},
        {"factory-ber.tst", TokenFactory::ToBer(TokenFactory::Token(full))},
    };
    StatusSpec refusal{2, {"bad request"}, 1u << 5};
    const std::map<std::string, Bytes> replies = {
        {"factory-granted.tsr", TokenFactory::Reply(full)},
        {"factory-refusal.tsr", TokenFactory::ReplyWith(refusal, std::nullopt)},
    };
    TacSpec noPolicy;
    noPolicy.withPolicy = false;
    const std::map<std::string, Bytes> tacs = {
        {"factory-tac.der", TokenFactory::Tac(TacSpec{})},
        {"factory-tac-nopolicy.der", TokenFactory::Tac(noPolicy)},
        {"factory-tac-basecert.der", TokenFactory::Tac(ecdsa.tac.value(), KeyKind::Ecdsa)},
    };

    for (const char* target : {"tti_tstinfo", "tti_tsa_cert", "tti_signature", "tti_tac_extract"})
        for (const auto& [name, bytes] : tokens)
            Write(corpus / target, name, bytes);
    for (const char* target : {"tti_status", "tti_encoded_token", "tti_check_reply"})
        for (const auto& [name, bytes] : replies)
            Write(corpus / target, name, bytes);
    Write(corpus / "tti_check_reply", "factory-framed.bin",
          TokenFactory::Framed(5, replies.at("factory-granted.tsr")));
    const std::string text = "overloaded";
    Write(corpus / "tti_check_reply", "factory-framed-error.bin",
          TokenFactory::Framed(6, Bytes(text.begin(), text.end())));
    for (const char* target : {"tti_tac_metrics", "tti_tac_policy", "tti_tac_certinfo"})
        for (const auto& [name, bytes] : tacs)
            Write(corpus / target, name, bytes);
    // The stamp reader takes whole replies and bare tokens alike.
    for (const auto& [name, bytes] : tokens)
        Write(corpus / "process_stamp_file", name, bytes);
    for (const auto& [name, bytes] : replies)
        Write(corpus / "process_stamp_file", name, bytes);
    TokenSpec ecdsaReply = ecdsa;
    ecdsaReply.tac->withPolicy = false;
    Write(corpus / "process_stamp_file", "factory-ecdsa-tac-nopolicy.tsr",
          TokenFactory::Reply(ecdsaReply));

    if (argc > 2) {
        // A few real samples, chosen for variety and size: replies for the reply decoders,
        // tokens (also carved from replies) for the token decoders.
        const fs::path real = argv[2];
        for (const char* name :
             {"rejection-baddataformat-reply.tsr", "sigstage-ecdsa-sha256-reply.tsr",
              "sigstage-ecdsa-sha256-reply-nocerts.tsr",
              "freetsa-rsa-sha256-reply-2018-microsec.tsr", "digicert-rsa-sha256-reply-2018.tsr",
              "negative/sigstage-ecdsa-sha256-reply-BADSIG.tsr", "exceet-rsa-sha256-token-der.tst",
              "infocert-rsa-sha256-token.tst", "sslcom-ecdsa-sha256-token-authenticode.tst"}) {
            const Bytes bytes = Read(real / name);
            const std::string base = "real-" + fs::path(name).filename().string();
            Bytes token = bytes;
            TTI_STATUS status{};
            Write(corpus / "process_stamp_file", base, bytes);
            if (TTI_GetTSR_Status(&status, bytes.data(), static_cast<int>(bytes.size())) == 0) {
                for (const char* target : {"tti_status", "tti_encoded_token", "tti_check_reply"})
                    Write(corpus / target, base, bytes);
                int len = static_cast<int>(token.size());
                if (TTI_GetTSR_EncodedToken(token.data(), &len, bytes.data(),
                                            static_cast<int>(bytes.size())) != 0)
                    continue;
                token.resize(static_cast<std::size_t>(len));
            }
            for (const char* target :
                 {"tti_tstinfo", "tti_tsa_cert", "tti_signature", "tti_tac_extract"})
                Write(corpus / target, fs::path(base).replace_extension(".tst").string(), token);
        }
    }
    return 0;
}
