// Reading a stamp against the one signature check it needs: ProcessStampFile per stamp over
// 1,000 stamps of the local test TSA (made over HTTP), one thread, against raw RSA-2048
// EVP_DigestVerify (SHA-256, PKCS #1 v1.5) over messages of the stamps' mean size on the
// same machine. Then the same with the trust verdict (anchors of MIVOKLIENT_TRUST_DIR).
// Prints stamps and verifications per second and the ratios, from one run; the ratios
// should be at least 0.25 without and 0.15 with the trust verdict. Times are the thread's
// CPU time, so that other work on a shared machine weighs on neither side.
//
// Measured (Release, the 2-core build machine shared with other builds, six runs): 0.27 to
// 0.34 without and 0.17 to 0.20 with the trust verdict, which gave 0.096 to 0.100 while
// every stamp built and verified its signer's chain again (now kept, core/TrustChainCache.h).
//
//   bench_stamp_read [FOLDER]     (default: a fresh folder in the temporary directory)
#include "bench/BenchSupport.h"
#include "core/TimeStampExchange.h"
#include "core/TimeStampPart.h"
#include "core/TimeStampRequest.h"
#include "core/TrustAnchors.h"
#include "core/TrustEvaluator.h"
#include "core/tti/tti.h"
#include "platform/OpenSslPtr.h"
#include "tools/TestTsa.h"
#include "tools/TokenFactory.h"

#include <openssl/evp.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace fs = std::filesystem;

using namespace bench;

namespace {

// The calling thread's CPU time in seconds.
double ThreadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

constexpr int kStamps = 1000;
constexpr int kRuns = 5;
constexpr int kVerifications = 20000;

using KeyPtr = OpenSslPtr<EVP_PKEY, EVP_PKEY_free>;
using MdCtxPtr = OpenSslPtr<EVP_MD_CTX, EVP_MD_CTX_free>;

// Whole replies of the test TSA for small random sources, as the program saves them.
std::vector<std::string> MakeStamps(const fs::path& dir, std::size_t& totalBytes) {
    mivo::test::TestTsa tsa;
    CConnectionParams params;
    params.m_strServerUrl = tsa.Url();
    params.m_nProxyType = ACCESS_TYPE_DIRECT;
    std::mt19937 rng(13);
    std::vector<std::string> stamps;
    totalBytes = 0;
    for (int i = 0; i < kStamps; ++i) {
        const fs::path source = dir / ("source-" + std::to_string(i) + ".txt");
        std::string bytes(200 + rng() % 3800, '\0');
        for (char& c : bytes)
            c = static_cast<char>('a' + rng() % 26);
        WriteFile(source, bytes);
        TTI_REQUEST request;
        if (BuildTimeStampRequest("1.2.3.4.1", 2, source.string(), request) != 0)
            Fail("BuildTimeStampRequest");
        unsigned char der[kEncodedRequestLimit];
        int length = sizeof der;
        if (TTI_EncodeTimestampRequest(&request, der, &length, 0) != TTI_OK)
            Fail("TTI_EncodeTimestampRequest");
        std::string reply(16384, '\0');
        int replyLength = static_cast<int>(reply.size());
        if (PostTimeStampRequest(der, length, params,
                                 reinterpret_cast<unsigned char*>(reply.data()), replyLength) != 1)
            Fail("the test TSA gave no stamp");
        reply.resize(static_cast<std::size_t>(replyLength));
        totalBytes += reply.size();
        const fs::path stamp = source.string() + ".tsr";
        WriteFile(stamp, reply);
        stamps.push_back(stamp.string());
    }
    return stamps;
}

double TimeStamps(const std::vector<std::string>& stamps, bool withTrust) {
    const double start = ThreadSeconds();
    for (const std::string& stamp : stamps) {
        CTimeStampPart part;
        if (part.ProcessStampFile(stamp) != 1)
            Fail(stamp + ": " + part.ErrorText());
        if (withTrust) {
            if (!part.EvaluateSignerTrust({}) || !part.SignerTrust()->IsTrusted())
                Fail(stamp + ": " + (part.SignerTrust() ? part.SignerTrust()->message : "?"));
        }
    }
    return ThreadSeconds() - start;
}

// Seconds for kVerifications RSA-2048 verifications of one signature over `size` bytes.
double TimeRawVerify(std::size_t size) {
    KeyPtr key(EVP_PKEY_Q_keygen(nullptr, nullptr, "RSA", std::size_t{2048}));
    if (!key)
        Fail("RSA key generation");
    const std::vector<unsigned char> message(size, 0x5a);
    std::vector<unsigned char> signature(256);
    std::size_t signatureLength = signature.size();
    MdCtxPtr sign(EVP_MD_CTX_new());
    if (!sign || EVP_DigestSignInit(sign.get(), nullptr, EVP_sha256(), nullptr, key.get()) != 1 ||
        EVP_DigestSign(sign.get(), signature.data(), &signatureLength, message.data(),
                       message.size()) != 1)
        Fail("RSA signature");
    const double start = ThreadSeconds();
    for (int i = 0; i < kVerifications; ++i) {
        MdCtxPtr ctx(EVP_MD_CTX_new());
        if (!ctx ||
            EVP_DigestVerifyInit(ctx.get(), nullptr, EVP_sha256(), nullptr, key.get()) != 1 ||
            EVP_DigestVerify(ctx.get(), signature.data(), signatureLength, message.data(),
                             message.size()) != 1)
            Fail("RSA verification");
    }
    return ThreadSeconds() - start;
}

} // namespace

int main(int argc, char** argv) {
    const fs::path dir = WorkFolder(argc, argv, "read");
    // Nothing of the user's: configuration, address book and system folder are ours.
    setenv("MIVOKLIENT_CONFIG_DIR", (dir / "config").c_str(), 1);
    setenv("MIVOKLIENT_SYSCONF_DIR", (dir / "etc").c_str(), 1);
    setenv(kTrustDirVariable, (dir / "anchors").c_str(), 1);
    fs::create_directories(dir / "anchors");
    fs::create_directories(dir / "config");
    WriteFile(dir / "anchors" / "mivo-test-ca.pem", mivo::test::TokenFactory::CaCertPem());

    std::printf("making %d stamps with the local test TSA in %s ...\n", kStamps, dir.c_str());
    std::size_t totalBytes = 0;
    const std::vector<std::string> stamps = MakeStamps(dir, totalBytes);
    const std::size_t meanSize = totalBytes / kStamps;

    trust::RebuildTrustAnchors();
    (void)trust::GetTrustAnchors();
    TimeStamps(stamps, true); // warm the page cache, the library and the stores
    std::vector<double> plain, judged, raw;
    for (int run = 0; run < kRuns; ++run) { // interleaved: all see the same machine state
        plain.push_back(TimeStamps(stamps, false));
        judged.push_back(TimeStamps(stamps, true));
        raw.push_back(TimeRawVerify(meanSize));
    }
    const double plainRate = kStamps / Median(plain);
    const double judgedRate = kStamps / Median(judged);
    const double rawRate = kVerifications / Median(raw);
    std::printf("RSA-2048 EVP_DigestVerify, %4zu bytes    %9.1f verifications/s\n", meanSize,
                rawRate);
    std::printf("ProcessStampFile                        %9.1f stamps/s  %7.1f us/stamp\n",
                plainRate, 1e6 / plainRate);
    std::printf("ProcessStampFile + EvaluateSignerTrust  %9.1f stamps/s  %7.1f us/stamp\n",
                judgedRate, 1e6 / judgedRate);
    const double ratio = plainRate / rawRate;
    const double trustRatio = judgedRate / rawRate;
    std::printf("ratio stamps / verifications            %9.3f  (at least 0.25)\n", ratio);
    std::printf("ratio with the trust verdict            %9.3f  (at least 0.15)\n", trustRatio);
    if (argc <= 1)
        fs::remove_all(dir);
    return ratio >= 0.25 && trustRatio >= 0.15 ? 0 : 1;
}
