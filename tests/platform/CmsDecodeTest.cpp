// Signed messages decoded with shared certificates: the same structure as OpenSSL's own
// decoding for every token we meet (factory tokens, public TSAs' samples, BER, trailing
// bytes, damage), and certificates decoded once; and the folder index that keeps what was
// read from a folder until the folder changes.
#include "platform/CmsDecode.h"
#include "core/tti/tti.h"
#include "platform/FolderIndex.h"
#include "tools/TokenFactory.h"

#include "testlib/TempDir.h"

#include <gtest/gtest.h>

#include <openssl/cms.h>

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sys/stat.h>

using mivo::test::Bytes;
using mivo::test::KeyKind;
using mivo::test::TokenFactory;
using mivo::test::TokenSpec;

namespace {

using CmsPtr = std::unique_ptr<CMS_ContentInfo, decltype(&CMS_ContentInfo_free)>;

Bytes Encode(CMS_ContentInfo* cms) {
    unsigned char* der = nullptr;
    const int n = i2d_CMS_ContentInfo(cms, &der);
    Bytes out(der, der + std::max(n, 0));
    OPENSSL_free(der);
    return out;
}

// Both decodings of `bytes`: whether they succeeded, where they stopped, what they hold.
void ExpectSameAsOpenssl(const Bytes& bytes, const std::string& what) {
    const unsigned char* ours = bytes.data();
    const unsigned char* theirs = bytes.data();
    CmsPtr a(DecodeCmsContentInfo(&ours, static_cast<long>(bytes.size())), CMS_ContentInfo_free);
    CmsPtr b(d2i_CMS_ContentInfo(nullptr, &theirs, static_cast<long>(bytes.size())),
             CMS_ContentInfo_free);
    ASSERT_EQ(a != nullptr, b != nullptr) << what;
    if (!a)
        return;
    EXPECT_EQ(ours, theirs) << what;
    EXPECT_EQ(Encode(a.get()), Encode(b.get())) << what;
}

// The token of a reply, or the bytes as they are when they are no reply.
Bytes TokenOf(const Bytes& bytes) {
    Bytes token(bytes.size());
    int length = static_cast<int>(token.size());
    if (TTI_GetTSR_EncodedToken(token.data(), &length, bytes.data(),
                                static_cast<int>(bytes.size())) != TTI_OK)
        return bytes;
    token.resize(static_cast<std::size_t>(length));
    return token;
}

} // namespace

TEST(CmsDecodeTest, EveryTokenDecodesAsOpensslDecodesIt) {
    TokenSpec two;
    two.includeCaCert = true;
    TokenSpec none;
    none.includeSignerCert = false;
    TokenSpec ec;
    ec.key = KeyKind::Ecdsa;
    for (const TokenSpec& spec : {TokenSpec{}, two, none, ec}) {
        const Bytes token = TokenFactory::Token(spec);
        ExpectSameAsOpenssl(token, "factory token");
        ExpectSameAsOpenssl(TokenFactory::ToBer(token), "BER token");
        Bytes trailing = token;
        trailing.insert(trailing.end(), {0x00, 0x01, 0x02});
        ExpectSameAsOpenssl(trailing, "bytes after the token");
        ExpectSameAsOpenssl(Bytes(token.begin(), token.end() - 1), "truncated");
        Bytes damaged = token;
        damaged[damaged.size() / 3] ^= 0x5a;
        ExpectSameAsOpenssl(damaged, "damaged");
    }
    for (const auto& file :
         std::filesystem::directory_iterator(std::string(MIVO_TEST_DATA_DIR) + "/real-tokens")) {
        if (!file.is_regular_file() || file.path().extension() == ".md")
            continue;
        std::ifstream in(file.path(), std::ios::binary);
        const Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        ExpectSameAsOpenssl(TokenOf(bytes), file.path().filename().string());
    }
}

TEST(CmsDecodeTest, ACertificateIsDecodedOnceAndShared) {
    TokenSpec spec;
    spec.includeCaCert = true;
    const Bytes token = TokenFactory::Token(spec);
    const unsigned char* p = token.data();
    CmsPtr first(DecodeCmsContentInfo(&p, static_cast<long>(token.size())), CMS_ContentInfo_free);
    ASSERT_TRUE(first);
    const std::size_t kept = SharedCertificateCount();
    p = token.data();
    CmsPtr second(DecodeCmsContentInfo(&p, static_cast<long>(token.size())), CMS_ContentInfo_free);
    ASSERT_TRUE(second);
    EXPECT_EQ(SharedCertificateCount(), kept);
    STACK_OF(X509)* a = CMS_get1_certs(first.get());
    STACK_OF(X509)* b = CMS_get1_certs(second.get());
    ASSERT_EQ(sk_X509_num(a), 2);
    ASSERT_EQ(sk_X509_num(b), 2);
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(sk_X509_value(a, i), sk_X509_value(b, i)); // the very same object
    sk_X509_pop_free(a, X509_free);
    sk_X509_pop_free(b, X509_free);

    const Bytes der = TokenFactory::TsaCertDer(KeyKind::Rsa);
    X509* cert = SharedCertificate(der.data(), der.size());
    ASSERT_NE(cert, nullptr);
    X509_free(cert);
    EXPECT_EQ(SharedCertificate(der.data(), der.size() - 1), nullptr);
}

TEST(FolderIndexTest, ReadsAgainOnlyWhenTheFolderChangedOrHasNotSettled) {
    TempDir dir;
    FolderIndex<int> index;
    int reads = 0;
    const auto read = [&reads] {
        return std::make_shared<const int>(++reads);
    };
    EXPECT_EQ(*index.Get(dir.Path(), read), 1);
    // Just made: a change in the same clock tick would go unseen, so it is read again.
    EXPECT_EQ(*index.Get(dir.Path(), read), 2);

    const auto age = [&dir](long seconds) {
        const timespec past{time(nullptr) - seconds, 0};
        const timespec times[2] = {past, past};
        ASSERT_EQ(utimensat(AT_FDCWD, dir.Path().c_str(), times, 0), 0);
    };
    age(60);
    EXPECT_EQ(*index.Get(dir.Path(), read), 3);
    EXPECT_EQ(*index.Get(dir.Path(), read), 3); // settled and unchanged
    EXPECT_EQ(*index.Get(dir.Path(), read), 3);

    dir.Write("new.pem", "x"); // a file added changes the folder
    EXPECT_EQ(*index.Get(dir.Path(), read), 4);
    age(30);
    EXPECT_EQ(*index.Get(dir.Path(), read), 5);
    EXPECT_EQ(*index.Get(dir.File("other"), read), 6); // another folder
    EXPECT_EQ(*index.Get(dir.File("other"), read), 6); // a missing folder stays missing
    EXPECT_EQ(*index.Get(dir.Path(), read), 7);

    // A failed read is not kept.
    index.Clear();
    EXPECT_EQ(index.Get(dir.Path(), [] { return std::shared_ptr<const int>(); }), nullptr);
    EXPECT_EQ(*index.Get(dir.Path(), read), 8);
    EXPECT_EQ(*index.Get(dir.Path(), read), 8);
}
