// Trusting a TSA on purpose: anchors added to, listed from and removed from the trust
// folder, and certificates put into the address book.
#include "TrustTestSupport.h"

#include "core/TrustFolders.h"
#include "platform/LastError.h"

#include <openssl/evp.h>
#include <openssl/x509.h>

#include <cerrno>
#include <sys/stat.h>

using namespace trusttest;

namespace {

std::vector<std::string> FilesIn(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// The SHA-256 fingerprint as "AB:CD:...", computed here on the DER bytes.
std::string Sha256Of(const Bytes& der) {
    unsigned char digest[32];
    EXPECT_EQ(EVP_Digest(der.data(), der.size(), digest, nullptr, EVP_sha256(), nullptr), 1);
    std::string text;
    char pair[4];
    for (unsigned char byte : digest) {
        std::snprintf(pair, sizeof pair, text.empty() ? "%02X" : ":%02X", byte);
        text += pair;
    }
    return text;
}

class TrustFoldersTest : public TrustTest {};

TEST_F(TrustFoldersTest, AnAddedAnchorIsStoredListedAndTrustedAtOnce) {
    const Pki& pki = ThePki();
    EXPECT_EQ(Evaluate(SpecFor(*pki.tsa)).verdict, TrustVerdict::Untrusted);
    std::filesystem::remove(TrustDir()); // the folder is made when needed

    const std::string pem = pki.root->CertPem();
    std::string path;
    ASSERT_TRUE(AddTrustAnchorBytes(
        std::span(reinterpret_cast<const unsigned char*>(pem.data()), pem.size()), path));
    EXPECT_EQ(WritableTrustDir(), TrustDir());
    EXPECT_EQ(path.rfind(TrustDir() + "/", 0), 0U);
    EXPECT_EQ(FilesIn(TrustDir()).size(), 1U); // no temporary file left behind
    EXPECT_EQ(TempDir::Read(path), pem);
    EXPECT_EQ(Evaluate(SpecFor(*pki.tsa)).verdict, TrustVerdict::Trusted);

    // The same certificate again, as DER: still one entry.
    const Bytes der = pki.root->CertDer();
    ASSERT_TRUE(AddTrustAnchorBytes(der, path));
    std::vector<TrustedCertificate> list;
    ASSERT_TRUE(ListTrustAnchors(list));
    ASSERT_EQ(list.size(), 1U);
    EXPECT_EQ(list[0].subject, AnchorName("Trust Test Root"));
    EXPECT_EQ(list[0].sha256, Sha256Of(der));
    EXPECT_EQ(list[0].file, path);
}

TEST_F(TrustFoldersTest, BytesThatHoldNoCertificateAreRefused) {
    std::string path = "unchanged";
    const std::string garbage = "-----BEGIN CERTIFICATE-----\nAAAA\n-----END CERTIFICATE-----\n";
    EXPECT_FALSE(AddTrustAnchorBytes(
        std::span(reinterpret_cast<const unsigned char*>(garbage.data()), garbage.size()), path));
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(EINVAL));
    EXPECT_FALSE(AddTrustAnchorBytes({}, path));
    EXPECT_EQ(path, "unchanged");
    EXPECT_TRUE(FilesIn(TrustDir()).empty());

    // A trust folder that cannot be made.
    WriteInto(m_dir.Path(), "file", "x");
    ScopedEnv blocked(kTrustDirVariable, m_dir.File("file/anchors").c_str());
    EXPECT_FALSE(AddTrustAnchor(ThePki().root->Cert(), path));
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ENOTDIR));
}

TEST_F(TrustFoldersTest, RemovingAnEntryKeepsTheOtherCertificatesOfItsFile) {
    const Pki& pki = ThePki();
    WriteInto(TrustDir(), "a-both.pem", pki.root->CertPem() + pki.inter->CertPem());
    WriteInto(TrustDir(), "b-garbage.txt", "no certificate here");
    WriteInto(TrustDir(), "c-stranger.pem", pki.stranger->CertPem());
    std::vector<TrustedCertificate> list;
    ASSERT_TRUE(ListTrustAnchors(list));
    ASSERT_EQ(list.size(), 3U);
    EXPECT_EQ(list[0].subject, AnchorName("Trust Test Root"));
    EXPECT_EQ(list[1].subject, AnchorName("Trust Test Intermediate"));
    EXPECT_EQ(list[2].subject, AnchorName("Trust Test Stranger"));
    EXPECT_EQ(list[0].file, list[1].file);

    EXPECT_FALSE(RemoveTrustAnchor(3));
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ERANGE));

    EXPECT_EQ(Evaluate(SpecFor(*pki.tsa)).verdict, TrustVerdict::Trusted);
    ASSERT_TRUE(RemoveTrustAnchor(0)); // the root; the intermediate stays in its file
    ASSERT_TRUE(ListTrustAnchors(list));
    ASSERT_EQ(list.size(), 2U);
    EXPECT_EQ(list[0].subject, AnchorName("Trust Test Intermediate"));
    EXPECT_EQ(Evaluate(SpecFor(*pki.tsa)).verdict, TrustVerdict::Untrusted);
    EXPECT_EQ(Evaluate(SpecFor(*pki.interTsa)).verdict, TrustVerdict::Trusted);

    ASSERT_TRUE(RemoveTrustAnchor(1)); // the stranger: its file goes
    EXPECT_EQ(FilesIn(TrustDir()), (std::vector<std::string>{"a-both.pem", "b-garbage.txt"}));
}

TEST_F(TrustFoldersTest, WithoutTheVariableTheUsersFolderIsWritten) {
    ScopedEnv unset(kTrustDirVariable, nullptr);
    EXPECT_EQ(WritableTrustDir(), m_dir.File("config") + "/trust");
    std::string path;
    ASSERT_TRUE(AddTrustAnchor(ThePki().root->Cert(), path));
    struct stat st {};
    ASSERT_EQ(stat((m_dir.File("config") + "/trust").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700U);
    // The user's folder is one of the anchor folders read when the variable is unset.
    const trust::AnchorSources sources = trust::CurrentAnchorSources();
    EXPECT_TRUE(sources.systemStore);
    EXPECT_EQ(sources.folders, (std::vector<std::string>{m_dir.File("etc") + "/trust",
                                                         m_dir.File("config") + "/trust"}));
    EXPECT_EQ(Evaluate(SpecFor(*ThePki().tsa)).verdict, TrustVerdict::Trusted);
}

TEST_F(TrustFoldersTest, TheSignerGoesIntoTheAddressBookAndTheChainTopIsOffered) {
    const Pki& pki = ThePki();
    TokenSpec spec = SpecFor(*pki.interTsa);
    spec.extraCertsPem = {pki.inter->CertPem(), pki.root->CertPem()};
    CTimeStampPart part;
    ASSERT_EQ(part.ProcessStampBytes(TokenFactory::Token(spec)), 1);
    trust::X509Ptr top = StampChainTop(part);
    ASSERT_TRUE(top);
    EXPECT_EQ(X509_cmp(top.get(), pki.root->Cert()), 0);
    std::string path;
    ASSERT_TRUE(AddTrustAnchor(top.get(), path));

    // A token without certificates verifies once its signer is in the address book.
    TokenSpec bare = spec;
    bare.includeSignerCert = false;
    bare.extraCertsPem.clear();
    const Bytes token = TokenFactory::Token(bare);
    EXPECT_EQ(part.ProcessStampBytes(token), 0);
    ASSERT_TRUE(AddToAddressBook(pki.interTsa->Cert(), path));
    EXPECT_EQ(path.rfind(AddressBook() + "/", 0), 0U);
    InAddressBook(pki.inter->CertPem());
    const TrustResult result = Evaluate(token);
    EXPECT_EQ(result.verdict, TrustVerdict::Trusted) << result.message;
    EXPECT_FALSE(StampChainTop(CTimeStampPart{}));
}

} // namespace
