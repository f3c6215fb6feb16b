// A headless document with scripted front end, message boxes and a real local test TSA,
// in a throwaway configuration folder.
#pragma once

#include "core/ClientSettings.h"
#include "core/IClock.h"
#include "document/ZarnDoc.h"
#include "testlib/FakeFrontEnd.h"
#include "testlib/RecordingMessageBoxes.h"
#include "testlib/TempDir.h"
#include "tools/TestTsa.h"
#include "tools/TokenFactory.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <memory>
#include <string>

namespace doc_test {

using mivo::test::Bytes;
using mivo::test::TokenFactory;
using mivo::test::TokenSpec;

inline Bytes Sha256(const std::string& data) {
    Bytes digest(32);
    EVP_Digest(data.data(), data.size(), digest.data(), nullptr, EVP_sha256(), nullptr);
    return digest;
}

inline std::string AsString(const Bytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

class DocFixture : public ::testing::Test {
protected:
    void SetUp() override {
        SetClock(nullptr);
        DeleteClientSettings();
        CClientSettings& settings = GetClientSettings();
        ASSERT_TRUE(UseUserIniFile(settings));
        settings.Load();
        settings.SetServerUrl(tsa.Url());
        settings.SetRequestPolicyOid("1.2.3.4.1");
        settings.m_nHashAlg = 2;
        doc = std::make_unique<CZarnDoc>(registry);
        doc->SetFrontEnd(&front);
        front.panel.SetDocument(doc.get());
        doc->AddView(&view);
        front.panel.FillOnce(registry);
    }
    void TearDown() override {
        doc.reset();
        DeleteClientSettings();
    }

    CClientSettings& Settings() { return GetClientSettings(); }
    std::string IniText() { return TempDir::Read(Settings().IniPath()); }

    // A token file for `source` (its SHA-256 imprint) made by the factory from `spec`.
    std::string WriteToken(const std::string& name, const std::string& sourceContent,
                           TokenSpec spec = {}) {
        spec.imprintOid = "2.16.840.1.101.3.4.2.1";
        spec.imprint = Sha256(sourceContent);
        return dir.Write(name, AsString(TokenFactory::Token(spec)));
    }

    TempDir dir;
    ScopedEnv configDir{"MIVOKLIENT_CONFIG_DIR", (dir.Path() + "/config").c_str()};
    ScopedEnv sysconfDir{"MIVOKLIENT_SYSCONF_DIR", (dir.Path() + "/etc").c_str()};
    RecordingMessageBoxes boxes;
    mivo::test::TestTsa tsa;
    CStampList registry;
    FakeFrontEnd front;
    CountingView view;
    std::unique_ptr<CZarnDoc> doc;
};

} // namespace doc_test
