// One stamp exchange against the local test TSA (request building for a 1 MiB file,
// exchange, framing check) against the same request posted by the `curl` command line, in
// one run, interleaved: both medians and their ratio (ours / curl).
#include "core/ConnectionParams.h"
#include "core/TimeStampExchange.h"
#include "core/TimeStampRequest.h"
#include "core/tti/tti.h"
#include "tools/TestTsa.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kRounds = 50;

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void WriteFile(const fs::path& path, const std::vector<unsigned char>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "bench_stamp_exchange: %s\n", what);
    std::exit(2);
}

std::vector<unsigned char> Encode(const TTI_REQUEST& request) {
    unsigned char buffer[kEncodedRequestLimit];
    int length = kEncodedRequestLimit;
    if (TTI_EncodeTimestampRequest(&request, buffer, &length, 0) != TTI_OK)
        Fail("encoding failed");
    return std::vector<unsigned char>(buffer, buffer + length);
}

} // namespace

int main() {
    const fs::path dir =
        fs::temp_directory_path() / ("mivo-bench-exchange-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const fs::path file = dir / "data.bin";
    {
        std::vector<unsigned char> data(1 << 20);
        std::mt19937 rng(1);
        for (auto& b : data)
            b = static_cast<unsigned char>(rng());
        WriteFile(file, data);
    }

    mivo::test::TestTsa::Options options;
    options.lifetime = std::chrono::seconds(600);
    mivo::test::TestTsa tsa(options);
    CConnectionParams params;
    params.m_strServerUrl = tsa.Url();
    params.m_nProxyType = ACCESS_TYPE_DIRECT;

    const fs::path query = dir / "req.tsq";
    const fs::path reply = dir / "reply.tsr";
    const std::string curl = "curl -s -f --noproxy '*' --http1.0 --data-binary @" + query.string() +
                             " -H 'Content-Type: application/timestamp-query' -o " +
                             reply.string() + " " + tsa.Url();

    std::vector<double> ours, oursExchangeOnly, theirs;
    std::vector<unsigned char> buffer(8192);
    for (int round = 0; round < kRounds + 1; ++round) {
        // Ours: build (digest of 1 MiB, nonce), encode, post, framing check.
        auto start = Clock::now();
        TTI_REQUEST request;
        if (BuildTimeStampRequest("1.2.3.4.1", 2, file.string(), request) != 0)
            Fail("request building failed");
        const std::vector<unsigned char> der = Encode(request);
        const auto built = Clock::now();
        int length = static_cast<int>(buffer.size());
        if (PostTimeStampRequest(der.data(), static_cast<int>(der.size()), params, buffer.data(),
                                 length) != 1)
            Fail("exchange failed");
        const auto end = Clock::now();

        // curl: the same request, posted by the command line.
        WriteFile(query, der);
        const auto curlStart = Clock::now();
        if (std::system(curl.c_str()) != 0)
            Fail("curl failed");
        const auto curlEnd = Clock::now();

        if (round == 0)
            continue; // warm-up: first connection, first signature, page cache
        ours.push_back(std::chrono::duration<double, std::milli>(end - start).count());
        oursExchangeOnly.push_back(std::chrono::duration<double, std::milli>(end - built).count());
        theirs.push_back(std::chrono::duration<double, std::milli>(curlEnd - curlStart).count());
    }

    const double oursMedian = Median(ours);
    const double theirsMedian = Median(theirs);
    std::printf("stamp exchange against the local test TSA, %d rounds, interleaved\n", kRounds);
    std::printf("  ours (build 1 MiB request + exchange + framing check): median %.2f ms\n",
                oursMedian);
    std::printf("    of which exchange + framing check:                  median %.2f ms\n",
                Median(oursExchangeOnly));
    std::printf("  curl command line (same request, posted):             median %.2f ms\n",
                theirsMedian);
    std::printf("  ratio ours / curl: %.2f\n", oursMedian / theirsMedian);

    std::error_code ignored;
    fs::remove_all(dir, ignored);
    return 0;
}
