// `mivoklient-cli list --check` over 1,000 listed stamps with sources of 1 MiB against
// `sha256sum` over the same sources: bytes per second of both and their ratio, which
// should be at least 0.80. The stamps are tokens of the test factory over the sources'
// SHA-256, so that every entry is "v pořádku". Figures from one run (median of three,
// interleaved).
//
//   bench_list_check [FOLDER]     (default: a fresh folder in the temporary directory)
#include "bench/BenchSupport.h"
#include "tools/TokenFactory.h"

#include <openssl/sha.h>

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

constexpr int kEntries = 1000;
constexpr std::size_t kSourceBytes = 1 << 20;
constexpr int kRuns = 3;

std::string Quote(const std::string& text) {
    return "'" + text + "'";
}

double Run(const std::string& command) {
    const auto start = Clock::now();
    if (std::system(command.c_str()) != 0)
        Fail("failed: " + command);
    return std::chrono::duration<double>(Clock::now() - start).count();
}

} // namespace

int main(int argc, char** argv) {
    const fs::path dir = WorkFolder(argc, argv, "check");
    std::printf("making %d sources of 1 MiB and their stamps in %s ...\n", kEntries, dir.c_str());
    std::mt19937 rng(17);
    std::vector<unsigned char> bytes(kSourceBytes);
    std::string ini = "[time_stamped_files]\ncount=" + std::to_string(kEntries) + "\n";
    std::string list;
    for (int i = 0; i < kEntries; ++i) {
        for (unsigned char& b : bytes)
            b = static_cast<unsigned char>(rng());
        const fs::path source = dir / ("s" + std::to_string(i) + ".bin");
        WriteFile(source, bytes.data(), bytes.size());
        mivo::test::TokenSpec spec;
        spec.imprint.resize(SHA256_DIGEST_LENGTH);
        SHA256(bytes.data(), bytes.size(), spec.imprint.data());
        const mivo::test::Bytes reply = mivo::test::TokenFactory::Reply(spec);
        const std::string stamp = source.string() + ".tsr";
        WriteFile(stamp, reply.data(), reply.size());
        ini += "tsf_item" + std::to_string(i) + "=" + stamp + "," + source.string() + "\n";
        list += " " + Quote(source.string());
    }
    fs::create_directories(dir / "config");
    WriteFile(dir / "config" / "mivoklient.ini", ini.data(), ini.size());
    const std::string check = "MIVOKLIENT_CONFIG_DIR=" + Quote((dir / "config").string()) +
                              " MIVOKLIENT_SYSCONF_DIR=" + Quote((dir / "etc").string()) + " " +
                              Quote(MIVO_CLI_PATH) + " list --check >/dev/null";
    const std::string sums = "sha256sum" + list + " >/dev/null";

    Run(sums); // the sources into the page cache
    std::vector<double> ours, theirs;
    for (int run = 0; run < kRuns; ++run) {
        ours.push_back(Run(check));
        theirs.push_back(Run(sums));
    }
    const double total = static_cast<double>(kSourceBytes) * kEntries;
    const double ourRate = total / Median(ours) / 1e6;
    const double theirRate = total / Median(theirs) / 1e6;
    std::printf("mivoklient-cli list --check   %8.1f MB/s  (%6.3f s)\n", ourRate, Median(ours));
    std::printf("sha256sum                     %8.1f MB/s  (%6.3f s)\n", theirRate, Median(theirs));
    std::printf("ratio list --check / sha256sum %7.2f  (at least 0.80)\n", ourRate / theirRate);
    if (argc <= 1)
        fs::remove_all(dir);
    return ourRate / theirRate >= 0.8 ? 0 : 1;
}
