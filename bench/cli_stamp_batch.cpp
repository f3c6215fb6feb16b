// `mivoklient-cli stamp` of 100 small files in one command against 100 single `stamp`
// commands, both against the local test TSA: stamps per second of both and the ratio (the
// difference is the start-up cost of the command). Figures from one run.
#include "tools/TestTsa.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kFiles = 100;

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "bench_cli_stamp: %s\n", what.c_str());
    std::exit(2);
}

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
    const std::string cli = argc > 1 ? argv[1] : MIVO_CLI_PATH;
    std::string pattern = (fs::temp_directory_path() / "mivo-bench-cli-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        Fail("mkdtemp");
    const fs::path dir = pattern;
    mivo::test::TestTsa tsa;
    const std::string ini = (dir / "mivoklient.ini").string();
    std::ofstream(ini) << "[zarn]\nserver_url=" << tsa.Url()
                       << "\npolicy_oid=1.2.3.4.1\nhash_alg=2\n";
    std::vector<std::string> batch, single;
    for (int i = 0; i < kFiles; ++i) {
        for (auto* list : {&batch, &single}) {
            const fs::path file = dir / ((list == &batch ? "b" : "s") + std::to_string(i) + ".txt");
            std::ofstream(file) << "file " << i << "\n";
            list->push_back(file.string());
        }
    }
    const std::string prefix = "MIVOKLIENT_CONFIG_DIR=" + Quote((dir / "config").string()) +
                               " MIVOKLIENT_SYSCONF_DIR=" + Quote((dir / "etc").string()) + " " +
                               Quote(cli) + " stamp --ini " + Quote(ini);
    std::string one = prefix;
    for (const auto& f : batch)
        one += " " + Quote(f);
    const double batchSeconds = Run(one + " >/dev/null");
    std::string many = "set -e\n";
    for (const auto& f : single)
        many += prefix + " " + Quote(f) + " >/dev/null\n";
    const std::string script = (dir / "single.sh").string();
    std::ofstream(script) << many;
    const double singleSeconds = Run("sh " + Quote(script));
    if (tsa.RequestCount() != 2 * kFiles)
        Fail("the TSA saw " + std::to_string(tsa.RequestCount()) + " requests");

    std::printf("one command, %d files:   %7.1f stamps/s (%.2f s)\n", kFiles, kFiles / batchSeconds,
                batchSeconds);
    std::printf("%d single commands:      %7.1f stamps/s (%.2f s)\n", kFiles,
                kFiles / singleSeconds, singleSeconds);
    std::printf("ratio one command / single commands: %.2f; start-up cost per command: %.1f ms\n",
                singleSeconds / batchSeconds, (singleSeconds - batchSeconds) / kFiles * 1000);
    fs::remove_all(dir);
    return 0;
}
