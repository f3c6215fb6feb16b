// Encoding of the request record as a TimeStampReq.
#include "TtiTestSupport.h"

#include <gtest/gtest.h>
#include <openssl/ts.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include <sys/wait.h>
#include <unistd.h>

namespace mivo::test {
namespace {

constexpr const char* kSha256 = "2.16.840.1.101.3.4.2.1";
constexpr const char* kMd5 = "1.2.840.113549.2.5";

TTI_REQUEST MakeRequest(const char* hashOid = kSha256, int digestLen = 32) {
    TTI_REQUEST r{};
    r.nSize = TTI_REQUEST_SIZE;
    std::strcpy(r.szHashOid, hashOid);
    for (int i = 0; i < digestLen; ++i)
        r.digest[i] = static_cast<unsigned char>(i + 1);
    r.nDigestLen = digestLen;
    std::strcpy(r.szPolicyOid, "2.25.147632841029645311856013379428416652545.10.1");
    const unsigned char nonce[8] = {0x80, 0, 0, 0, 0, 0, 0, 0x01};
    std::memcpy(r.nonce, nonce, sizeof nonce);
    r.nNonceLen = 8;
    r.bCertReq = 1;
    return r;
}

struct Encoded {
    int rc;
    Bytes der;
};

Encoded Encode(const TTI_REQUEST& r, int capacity = 1024) {
    Encoded e{0, Bytes(static_cast<std::size_t>(capacity))};
    int len = capacity;
    e.rc = TTI_EncodeTimestampRequest(&r, e.der.data(), &len, 0);
    e.der.resize(e.rc == TTI_OK ? static_cast<std::size_t>(len) : 0);
    return e;
}

using TsReqPtr = std::unique_ptr<TS_REQ, decltype(&TS_REQ_free)>;

TsReqPtr Parse(const Bytes& der) {
    const unsigned char* p = der.data();
    TsReqPtr req(d2i_TS_REQ(nullptr, &p, Len(der)), TS_REQ_free);
    if (req && p != der.data() + der.size())
        req.reset();
    return req;
}

std::string ObjText(const ASN1_OBJECT* o) {
    char buf[512];
    OBJ_obj2txt(buf, sizeof buf, o, 1);
    return buf;
}

TEST(EncodeRequest, CarriesEveryFieldOfTheRecord) {
    const Encoded e = Encode(MakeRequest());
    ASSERT_EQ(e.rc, TTI_OK);
    TsReqPtr req = Parse(e.der);
    ASSERT_TRUE(req);
    EXPECT_EQ(TS_REQ_get_version(req.get()), 1);
    TS_MSG_IMPRINT* imprint = TS_REQ_get_msg_imprint(req.get());
    EXPECT_EQ(ObjText(TS_MSG_IMPRINT_get_algo(imprint)->algorithm), kSha256);
    const ASN1_OCTET_STRING* digest = TS_MSG_IMPRINT_get_msg(imprint);
    ASSERT_EQ(ASN1_STRING_length(digest), 32);
    EXPECT_EQ(ASN1_STRING_get0_data(digest)[31], 32);
    EXPECT_EQ(ObjText(TS_REQ_get_policy_id(req.get())),
              "2.25.147632841029645311856013379428416652545.10.1");
    // The nonce's first byte has its top bit set: the INTEGER must still be positive.
    const ASN1_INTEGER* nonce = TS_REQ_get_nonce(req.get());
    ASSERT_NE(nonce, nullptr);
    EXPECT_EQ(ASN1_STRING_type(nonce), V_ASN1_INTEGER);
    EXPECT_EQ(Hex(ASN1_STRING_get0_data(nonce), ASN1_STRING_length(nonce)), "8000000000000001");
    EXPECT_EQ(TS_REQ_get_cert_req(req.get()), 1);
}

TEST(EncodeRequest, LeavesOutWhatTheRecordDoesNotAskFor) {
    TTI_REQUEST r = MakeRequest(kMd5, 16);
    std::memset(r.szPolicyOid, 0, sizeof r.szPolicyOid);
    r.nNonceLen = 0;
    r.bCertReq = 0;
    const Encoded e = Encode(r);
    ASSERT_EQ(e.rc, TTI_OK);
    TsReqPtr req = Parse(e.der);
    ASSERT_TRUE(req);
    EXPECT_EQ(ObjText(TS_MSG_IMPRINT_get_algo(TS_REQ_get_msg_imprint(req.get()))->algorithm), kMd5);
    EXPECT_EQ(TS_REQ_get_policy_id(req.get()), nullptr);
    EXPECT_EQ(TS_REQ_get_nonce(req.get()), nullptr);
    EXPECT_EQ(TS_REQ_get_cert_req(req.get()), 0);
    // DER: certReq FALSE is a default and is left out, so is everything else.
    EXPECT_EQ(e.der.size(), 2u + 3 + 2 + (2 + 10 + 2) + 2 + 16);
}

TEST(EncodeRequest, ZeroNonceAndLongestNonce) {
    TTI_REQUEST r = MakeRequest();
    r.nNonceLen = 1;
    r.nonce[0] = 0;
    Encoded e = Encode(r);
    ASSERT_EQ(e.rc, TTI_OK);
    EXPECT_EQ(ASN1_INTEGER_get(TS_REQ_get_nonce(Parse(e.der).get())), 0);

    r.nNonceLen = 40;
    std::memset(r.nonce, 0xFF, 40);
    e = Encode(r);
    ASSERT_EQ(e.rc, TTI_OK);
    EXPECT_EQ(ASN1_STRING_length(TS_REQ_get_nonce(Parse(e.der).get())), 40);
}

TEST(EncodeRequest, RejectsRecordsThatAreNotWellFormed) {
    auto rcOf = [](void (*change)(TTI_REQUEST&)) {
        TTI_REQUEST r = MakeRequest();
        change(r);
        return Encode(r).rc;
    };
    EXPECT_EQ(rcOf([](TTI_REQUEST& r) { r.nSize = 439; }), TTI_E_INVALID_PARAMETER);
    EXPECT_EQ(rcOf([](TTI_REQUEST& r) { r.nDigestLen = 0; }), TTI_E_INVALID_PARAMETER);
    EXPECT_EQ(rcOf([](TTI_REQUEST& r) { r.nDigestLen = 129; }), TTI_E_INVALID_PARAMETER);
    EXPECT_EQ(rcOf([](TTI_REQUEST& r) { r.nDigestLen = 20; }), TTI_E_INVALID_PARAMETER);
    EXPECT_EQ(rcOf([](TTI_REQUEST& r) { r.nNonceLen = -1; }), TTI_E_INVALID_PARAMETER);
    EXPECT_EQ(rcOf([](TTI_REQUEST& r) { r.nNonceLen = 41; }), TTI_E_INVALID_PARAMETER);
    EXPECT_EQ(rcOf([](TTI_REQUEST& r) { r.szHashOid[0] = 0; }), TTI_E_INVALID_PARAMETER);
    EXPECT_EQ(rcOf([](TTI_REQUEST& r) { std::strcpy(r.szHashOid, "sha256"); }),
              TTI_E_INVALID_PARAMETER);
    for (const char* bad : {"1.2..3", "1.2.", "1", "3.1", "1.02", " 1.2", "1.2.x", "1.2 "}) {
        TTI_REQUEST r = MakeRequest();
        std::strcpy(r.szPolicyOid, bad);
        EXPECT_EQ(Encode(r).rc, TTI_E_INVALID_PARAMETER) << bad;
    }
    // A policy of 128 characters has no room for its terminating zero.
    EXPECT_EQ(rcOf([](TTI_REQUEST& r) { std::memset(r.szPolicyOid, '1', 128); }),
              TTI_E_INVALID_PARAMETER);
    EXPECT_EQ(rcOf([](TTI_REQUEST& r) { std::memset(r.szHashOid, '1', 128); }),
              TTI_E_INVALID_PARAMETER);

    int len = 1024;
    Bytes out(1024);
    EXPECT_EQ(TTI_EncodeTimestampRequest(nullptr, out.data(), &len, 0), TTI_E_INVALID_PARAMETER);
    const TTI_REQUEST r = MakeRequest();
    EXPECT_EQ(TTI_EncodeTimestampRequest(&r, out.data(), nullptr, 0), TTI_E_INVALID_PARAMETER);
}

TEST(EncodeRequest, AnOidOf127CharactersFits) {
    TTI_REQUEST r = MakeRequest();
    std::string oid = "1.2";
    while (oid.size() < 127)
        oid += ".9";
    ASSERT_EQ(oid.size(), 127u);
    std::strcpy(r.szPolicyOid, oid.c_str());
    const Encoded e = Encode(r);
    ASSERT_EQ(e.rc, TTI_OK);
    EXPECT_EQ(ObjText(TS_REQ_get_policy_id(Parse(e.der).get())), oid);
}

TEST(EncodeRequest, TooSmallBufferTellsTheLengthNeeded) {
    const Encoded full = Encode(MakeRequest());
    ASSERT_EQ(full.rc, TTI_OK);
    const TTI_REQUEST r = MakeRequest();
    Bytes out(full.der.size() - 1, 0xEE);
    int len = Len(out);
    EXPECT_EQ(TTI_EncodeTimestampRequest(&r, out.data(), &len, 0), TTI_E_BUFFER_TOO_SMALL);
    EXPECT_EQ(len, Len(full.der));
    EXPECT_EQ(out, Bytes(full.der.size() - 1, 0xEE)); // nothing written
    EXPECT_EQ(Encode(MakeRequest(), Len(full.der)).der, full.der);
}

// OpenSSL's own tool reads our request and shows what we put in.
TEST(EncodeRequest, OpensslTsQueryReadsIt) {
    const Encoded e = Encode(MakeRequest());
    ASSERT_EQ(e.rc, TTI_OK);
    const std::string path = (std::filesystem::temp_directory_path() /
                              ("mivo-tti-req-" + std::to_string(::getpid()) + ".tsq"))
                                 .string();
    {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(e.der.data()), Len(e.der));
    }
    const std::string cmd = "openssl ts -query -in '" + path + "' -text 2>&1";
    FILE* pipe = ::popen(cmd.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string text;
    char buf[256];
    while (std::fgets(buf, sizeof buf, pipe))
        text += buf;
    const int status = ::pclose(pipe);
    std::filesystem::remove(path);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 127)
        GTEST_SKIP() << "no openssl command";
    EXPECT_EQ(status, 0) << text;
    EXPECT_NE(text.find("Hash Algorithm: sha256"), std::string::npos) << text;
    EXPECT_NE(text.find("Policy OID: 2.25.147632841029645311856013379428416652545.10.1"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("Nonce: 0x8000000000000001"), std::string::npos) << text;
    EXPECT_NE(text.find("Certificate required: yes"), std::string::npos) << text;
}

} // namespace
} // namespace mivo::test
