// Helpers of the trust tests: a throwaway configuration with its own anchor folder, a small
// PKI made once per process, and one call from a token spec to a verdict.
#pragma once

#include "core/TimeStampPart.h"
#include "core/TrustAnchors.h"
#include "core/TrustEvaluator.h"
#include "support/Messages.h"
#include "support/StringIds.h"
#include "tools/TokenFactory.h"
#include "tools/TrustPki.h"

#include "testlib/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

namespace trusttest {

using mivo::test::Bytes;
using mivo::test::OcspSpec;
using mivo::test::OcspStatus;
using mivo::test::RevokedEntry;
using mivo::test::TestCert;
using mivo::test::TestCertSpec;
using mivo::test::TestEku;
using mivo::test::TestKey;
using mivo::test::TokenFactory;
using mivo::test::TokenSpec;

// The generation time of most test tokens, and the same in seconds since 1970.
inline constexpr char kGenTime[] = "20250509115855Z";
inline constexpr std::time_t kGenTimeUnix = 1746791935;

inline std::shared_ptr<TestCert> MakeCert(const TestCertSpec& spec, const TestCert* issuer) {
    return std::make_shared<TestCert>(spec, issuer);
}

// Valid from 2005 to 2040 unless a test says otherwise.
inline TestCertSpec CaSpec(const std::string& name, TestKey key = TestKey::Ec) {
    TestCertSpec spec;
    spec.commonName = name;
    spec.ca = true;
    spec.key = key;
    spec.notBefore = "20050101000000Z";
    return spec;
}

inline TestCertSpec TsaSpec(const std::string& name = "Trust Test TSA", TestKey key = TestKey::Ec) {
    TestCertSpec spec;
    spec.commonName = name;
    spec.key = key;
    spec.notBefore = "20050101000000Z";
    return spec;
}

// A root, an intermediate under it, and a TSA under each; made once (key generation is
// slow under the sanitizers).
struct Pki {
    std::shared_ptr<TestCert> root = MakeCert(CaSpec("Trust Test Root"), nullptr);
    std::shared_ptr<TestCert> inter = MakeCert(CaSpec("Trust Test Intermediate"), root.get());
    std::shared_ptr<TestCert> tsa = MakeCert(TsaSpec(), root.get());
    std::shared_ptr<TestCert> interTsa = MakeCert(TsaSpec("Trust Test TSA 2"), inter.get());
    std::shared_ptr<TestCert> stranger = MakeCert(CaSpec("Trust Test Stranger"), nullptr);
};

inline const Pki& ThePki() {
    static const Pki pki;
    return pki;
}

// The one-line subject of a test certificate, as the verdict names an anchor.
inline std::string AnchorName(const std::string& commonName) {
    return "C = CZ, O = Mivo Trust Test, CN = " + commonName;
}

// A token of `signer` at kGenTime with the ESS attribute, no TSA name.
inline TokenSpec SpecFor(const TestCert& signer) {
    TokenSpec spec;
    spec.signer = signer.AsSigner();
    spec.genTime = kGenTime;
    return spec;
}

// Every folder the program reads moved into a throwaway one; the anchors are exactly the
// certificates written into TrustDir().
class TrustTest : public ::testing::Test {
protected:
    TrustTest()
        : m_configEnv("MIVOKLIENT_CONFIG_DIR", m_dir.File("config").c_str()),
          m_sysconfEnv("MIVOKLIENT_SYSCONF_DIR", m_dir.File("etc").c_str()),
          m_trustEnv(kTrustDirVariable, m_dir.File("anchors").c_str()) {
        std::filesystem::create_directories(TrustDir());
        trust::RebuildTrustAnchors();
    }
    ~TrustTest() override { trust::RebuildTrustAnchors(); }

    std::string TrustDir() const { return m_dir.File("anchors"); }
    std::string AddressBook() const { return m_dir.File("config") + "/addressbook"; }

    void Trust(const TestCert& cert, const std::string& name = "") {
        WriteInto(TrustDir(), name.empty() ? "anchor-" + std::to_string(++m_nFiles) + ".pem" : name,
                  cert.CertPem());
        trust::RebuildTrustAnchors();
    }
    void InAddressBook(const std::string& pem) {
        WriteInto(AddressBook(), "cert-" + std::to_string(++m_nFiles) + ".pem", pem);
    }
    static void WriteInto(const std::string& dir, const std::string& name,
                          const std::string& bytes) {
        std::filesystem::create_directories(dir);
        std::ofstream(dir + "/" + name, std::ios::binary) << bytes;
    }

    // The stamp checks, which must pass, then the trust verdict.
    TrustResult Evaluate(const Bytes& token, const TrustOptions& options = {}) {
        m_part = std::make_unique<CTimeStampPart>();
        EXPECT_EQ(m_part->ProcessStampBytes(token), 1) << m_part->ErrorText();
        EXPECT_TRUE(m_part->EvaluateSignerTrust(options));
        if (!m_part->SignerTrust())
            return MakeTrustResult(TrustVerdict::Untrusted);
        return *m_part->SignerTrust();
    }
    TrustResult Evaluate(const TokenSpec& spec, const TrustOptions& options = {}) {
        return Evaluate(TokenFactory::Token(spec), options);
    }

    TempDir m_dir;
    ScopedEnv m_configEnv;
    ScopedEnv m_sysconfEnv;
    ScopedEnv m_trustEnv;
    std::unique_ptr<CTimeStampPart> m_part;
    int m_nFiles = 0;
};

inline const char* Key(TrustVerdict verdict) {
    return TrustVerdictRowOf(verdict).key;
}

} // namespace trusttest
