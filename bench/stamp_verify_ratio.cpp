// Verifying stamps against their sources: ProcessStampFile + VerifySourceFile of the stamp
// part against `openssl ts -verify -data SOURCE -in STAMP -CAfile CA` over the same folder
// of 1,000 stamps with small sources, made by the local test TSA over HTTP. Prints stamps
// per second of both and their ratio, from one run.
//
//   bench_stamp_verify [FOLDER]     (default: a fresh folder in the temporary directory)
#include "bench/BenchSupport.h"
#include "core/TimeStampPart.h"
#include "core/TimeStampRequest.h"
#include "core/tti/tti.h"
#include "tools/TestTsa.h"
#include "tools/TokenFactory.h"

#include <curl/curl.h>

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
using mivo::test::Bytes;

using namespace bench;

namespace {

constexpr int kStamps = 1000;
constexpr int kRuns = 3;

std::size_t Collect(char* data, std::size_t size, std::size_t count, void* user) {
    auto* body = static_cast<Bytes*>(user);
    body->insert(body->end(), data, data + size * count);
    return size * count;
}

// POSTs the request to the test TSA and answers the reply's bytes.
Bytes Post(CURL* curl, const std::string& url, const Bytes& request) {
    Bytes body;
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, request.data());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, static_cast<long>(request.size()));
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(curl, CURLOPT_NOPROXY, "*");
    if (curl_easy_perform(curl) != CURLE_OK)
        Fail("POST to the test TSA failed");
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    if (status != 200)
        Fail("the test TSA answered HTTP " + std::to_string(status));
    return body;
}

struct Stamp {
    std::string source;
    std::string stamp;
};

// Small sources of 200 to 4,000 random bytes and their stamps (whole replies), made by
// the local test TSA for requests of ours.
std::vector<Stamp> MakeStamps(const fs::path& dir) {
    mivo::test::TestTsa tsa;
    CURL* curl = curl_easy_init();
    curl_slist* headers = curl_slist_append(nullptr, "Content-Type: application/timestamp-query");
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    std::mt19937 rng(7);
    std::vector<Stamp> stamps;
    for (int i = 0; i < kStamps; ++i) {
        const fs::path source = dir / ("source-" + std::to_string(i) + ".txt");
        std::string bytes(200 + rng() % 3800, '\0');
        for (char& c : bytes)
            c = static_cast<char>('a' + rng() % 26);
        WriteFile(source, bytes.data(), bytes.size());
        TTI_REQUEST request;
        if (BuildTimeStampRequest("1.2.3.4.1", 2, source.string(), request) != 0)
            Fail("BuildTimeStampRequest");
        unsigned char der[1024];
        int length = sizeof der;
        if (TTI_EncodeTimestampRequest(&request, der, &length, 0) != TTI_OK)
            Fail("TTI_EncodeTimestampRequest");
        const Bytes reply = Post(curl, tsa.Url(), Bytes(der, der + length));
        const fs::path stamp = source.string() + ".tsr";
        WriteFile(stamp, reply.data(), reply.size());
        stamps.push_back({source.string(), stamp.string()});
    }
    curl_slist_free_all(headers);
    curl_easy_cleanup(curl);
    return stamps;
}

double TimeOurs(const std::vector<Stamp>& stamps, bool withSource) {
    const auto start = Clock::now();
    for (const Stamp& s : stamps) {
        CTimeStampPart part;
        const int ok =
            withSource ? part.VerifySourceFile(s.stamp, s.source) : part.ProcessStampFile(s.stamp);
        if (ok != 1)
            Fail(s.stamp + ": " + part.ErrorText());
    }
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double TimeOpenssl(const std::string& script) {
    const auto start = Clock::now();
    if (std::system(("sh '" + script + "'").c_str()) != 0)
        Fail("openssl ts -verify failed: see " + script);
    return std::chrono::duration<double>(Clock::now() - start).count();
}

} // namespace

int main(int argc, char** argv) {
    const fs::path dir = WorkFolder(argc, argv, "stamps");
    // Signers come from the stamps themselves, never from an address book of the user's.
    setenv("MIVOKLIENT_CONFIG_DIR", (dir / "config").c_str(), 1);
    curl_global_init(CURL_GLOBAL_DEFAULT);

    std::printf("making %d stamps with the local test TSA in %s ...\n", kStamps, dir.c_str());
    const std::vector<Stamp> stamps = MakeStamps(dir);
    const std::string ca = (dir / "ca.pem").string();
    const std::string caPem = mivo::test::TokenFactory::CaCertPem();
    WriteFile(ca, caPem.data(), caPem.size());
    const std::string script = (dir / "openssl-verify.sh").string();
    {
        std::ofstream out(script);
        out << "set -e\n";
        for (const Stamp& s : stamps)
            out << "openssl ts -verify -data '" << s.source << "' -in '" << s.stamp << "' -CAfile '"
                << ca << "' >/dev/null 2>&1\n";
    }

    TimeOurs(stamps, true); // warm the page cache and the library
    std::vector<double> ours, process, theirs;
    for (int run = 0; run < kRuns; ++run) { // interleaved: both see the same machine state
        ours.push_back(TimeOurs(stamps, true));
        process.push_back(TimeOurs(stamps, false));
        theirs.push_back(TimeOpenssl(script));
    }
    const double ourRate = kStamps / Median(ours);
    const double processRate = kStamps / Median(process);
    const double theirRate = kStamps / Median(theirs);
    std::printf("ProcessStampFile alone                 %9.1f stamps/s\n", processRate);
    std::printf("ProcessStampFile + VerifySourceFile    %9.1f stamps/s\n", ourRate);
    std::printf("openssl ts -verify -data (one process) %9.1f stamps/s\n", theirRate);
    std::printf("ratio ours / openssl                   %9.2f\n", ourRate / theirRate);
    curl_global_cleanup();
    if (argc <= 1)
        fs::remove_all(dir);
    return 0;
}
