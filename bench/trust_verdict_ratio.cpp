// What the trust verdict adds to reading a stamp: ProcessStampFile per stamp, with and
// without EvaluateSignerTrust, over the same 1,000 stamps of the local test TSA (made over
// HTTP). The anchor store is built once per process, before the timed runs; its cost is
// printed apart. Two sources of anchors: a folder named by MIVOKLIENT_TRUST_DIR alone, and
// the system's CA store with the user's trust folder. Every verdict must be "trusted" (the
// whole chain and every check run). Prints stamps per second and the ratio of the times,
// which should stay at or below 1.50.
//
//   bench_trust_verdict [FOLDER]     (default: a fresh folder in the temporary directory)
#include "bench/BenchSupport.h"
#include "core/TimeStampExchange.h"
#include "core/TimeStampPart.h"
#include "core/TimeStampRequest.h"
#include "core/TrustAnchors.h"
#include "core/TrustEvaluator.h"
#include "core/tti/tti.h"
#include "tools/TestTsa.h"
#include "tools/TokenFactory.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

using namespace bench;

namespace {

constexpr int kStamps = 1000;
constexpr int kRuns = 5;

// Whole replies of the test TSA for small random sources, as the program saves them.
std::vector<std::string> MakeStamps(const fs::path& dir) {
    mivo::test::TestTsa tsa;
    CConnectionParams params;
    params.m_strServerUrl = tsa.Url();
    params.m_nProxyType = ACCESS_TYPE_DIRECT;
    std::mt19937 rng(11);
    std::vector<std::string> stamps;
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
        const fs::path stamp = source.string() + ".tsr";
        WriteFile(stamp, reply);
        stamps.push_back(stamp.string());
    }
    return stamps;
}

double TimeStamps(const std::vector<std::string>& stamps, bool withTrust) {
    const auto start = Clock::now();
    for (const std::string& stamp : stamps) {
        CTimeStampPart part;
        if (part.ProcessStampFile(stamp) != 1)
            Fail(stamp + ": " + part.ErrorText());
        if (withTrust) {
            if (!part.EvaluateSignerTrust({}) || !part.SignerTrust()->IsTrusted())
                Fail(stamp + ": " + (part.SignerTrust() ? part.SignerTrust()->message : "?"));
        }
    }
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Both timings interleaved, so that both see the same machine state; answers the ratio.
double Compare(const char* label, const std::vector<std::string>& stamps) {
    const auto build = Clock::now();
    trust::RebuildTrustAnchors();
    const auto anchors = trust::GetTrustAnchors();
    const double buildMs = std::chrono::duration<double, std::milli>(Clock::now() - build).count();
    TimeStamps(stamps, true); // warm the caches and the store's look-ups
    std::vector<double> without, with;
    for (int run = 0; run < kRuns; ++run) {
        without.push_back(TimeStamps(stamps, false));
        with.push_back(TimeStamps(stamps, true));
    }
    const double plain = Median(without);
    const double judged = Median(with);
    std::printf("%s\n", label);
    std::printf("  anchor store built once                     %9.1f ms\n", buildMs);
    std::printf("  ProcessStampFile                            %9.1f stamps/s  %7.1f us/stamp\n",
                kStamps / plain, plain * 1e6 / kStamps);
    std::printf("  ProcessStampFile + EvaluateSignerTrust      %9.1f stamps/s  %7.1f us/stamp\n",
                kStamps / judged, judged * 1e6 / kStamps);
    std::printf("  ratio with / without                        %9.2f  (at most 1.50)\n",
                judged / plain);
    return judged / plain;
}

} // namespace

int main(int argc, char** argv) {
    const fs::path dir = WorkFolder(argc, argv, "trust");
    // Nothing of the user's: configuration, address book and system folder are ours.
    setenv("MIVOKLIENT_CONFIG_DIR", (dir / "config").c_str(), 1);
    setenv("MIVOKLIENT_SYSCONF_DIR", (dir / "etc").c_str(), 1);
    fs::create_directories(dir / "anchors");
    fs::create_directories(dir / "config" / "trust");
    WriteFile(dir / "anchors" / "mivo-test-ca.pem", mivo::test::TokenFactory::CaCertPem());
    WriteFile(dir / "config" / "trust" / "mivo-test-ca.pem", mivo::test::TokenFactory::CaCertPem());

    std::printf("making %d stamps with the local test TSA in %s ...\n", kStamps, dir.c_str());
    const std::vector<std::string> stamps = MakeStamps(dir);

    setenv(kTrustDirVariable, (dir / "anchors").c_str(), 1);
    const double folderOnly = Compare("anchors of MIVOKLIENT_TRUST_DIR:", stamps);
    unsetenv(kTrustDirVariable);
    const double withSystem = Compare("system CA store + the user's trust folder:", stamps);

    if (argc <= 1)
        fs::remove_all(dir);
    return folderOnly <= 1.5 && withSystem <= 1.5 ? 0 : 1;
}
