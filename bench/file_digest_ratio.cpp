// FileDigest against `openssl dgst` on the same 1 GiB file in the same run: throughput of
// both, their ratio (target: at least 0.90), and the peak memory of a process hashing a
// 64 MiB and a 1 GiB file (target: the same, memory constant in the file size). Then
// SHA-256 of the file in the page cache against the hash alone, `openssl speed -evp sha256
// -bytes 262144` (target: at least 0.95, reading overlapped with hashing).
//
// Measured (Release, 2 cores, the machine otherwise idle, 2026-12-08): sha256 1.12 and
// sha512 1.10 against `openssl dgst`; memory the same for 64 MiB and 1 GiB. Against
// `openssl speed` with 256 KiB blocks 0.909 and 0.918 (below the target: the hand-over of a
// block between the threads every 0.17 ms); with 1 MiB blocks 0.965, 0.971 and 0.980 (peak
// memory 5.7 MiB for both sizes). On a machine loaded by other builds (load 4 to 6) the
// ratio against `openssl speed` falls to 0.54 to 0.60, which divides by its CPU time while
// FileDigest is timed by the wall clock; by the wall clock on both sides it was 0.86 to 0.88.
#include "core/HashAlgorithms.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

void MakeFile(const fs::path& path, std::uint64_t size) {
    if (fs::exists(path) && fs::file_size(path) == size)
        return;
    std::ofstream out(path, std::ios::binary);
    std::mt19937_64 rng(1);
    std::vector<std::uint64_t> block(1 << 17);
    for (std::uint64_t written = 0; written < size;) {
        for (auto& w : block)
            w = rng();
        const auto n = std::min<std::uint64_t>(size - written, block.size() * 8);
        out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(n));
        written += n;
    }
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double TimeOurs(const std::string& path, const char* oid) {
    unsigned char digest[kDigestBufferSize];
    std::int32_t length = 0;
    const auto start = Clock::now();
    if (FileDigest(path, oid, digest, length) != RESULT_OK) {
        std::fprintf(stderr, "FileDigest failed\n");
        std::exit(2);
    }
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Seconds of CPU (user and system, every thread) of this process so far.
double ProcessCpuSeconds() {
    struct rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

double TimeOpenssl(const std::string& path, const char* name) {
    const std::string cmd = std::string("openssl dgst -") + name + " '" + path + "' >/dev/null";
    const auto start = Clock::now();
    if (std::system(cmd.c_str()) != 0) {
        std::fprintf(stderr, "%s failed\n", cmd.c_str());
        std::exit(2);
    }
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// SHA-256 of `openssl speed` on 256 KiB blocks in MiB/s (no file read at all), per second of
// its CPU time, or with `elapsed` per second of wall-clock time as FileDigest is timed; 0 when
// its output cannot be read.
double OpensslSpeedMiB(bool elapsed = false) {
    const char* command =
        elapsed ? "openssl speed -elapsed -evp sha256 -bytes 262144 -seconds 3 2>/dev/null"
                : "openssl speed -evp sha256 -bytes 262144 -seconds 3 2>/dev/null";
    FILE* out = ::popen(command, "r");
    if (out == nullptr)
        return 0;
    char line[512];
    double kilobytes = 0; // the last column, in 1000s of bytes per second
    while (std::fgets(line, sizeof line, out) != nullptr) {
        double value = 0;
        char name[64];
        if (std::sscanf(line, "%63s %lfk", name, &value) == 2 && std::string(name) != "type")
            kilobytes = value;
    }
    ::pclose(out);
    return kilobytes * 1000.0 / (1024.0 * 1024.0);
}

// Peak resident size in KiB of a child that hashes `path`.
long PeakKiB(const std::string& path) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        unsigned char digest[kDigestBufferSize];
        std::int32_t length = 0;
        _exit(FileDigest(path, "2.16.840.1.101.3.4.2.1", digest, length) == RESULT_OK ? 0 : 1);
    }
    int status = 0;
    struct rusage usage {};
    ::wait4(pid, &status, 0, &usage);
    return usage.ru_maxrss;
}

} // namespace

int main(int argc, char** argv) {
    const fs::path dir = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path() / "mivo-bench";
    fs::create_directories(dir);
    const auto big = (dir / "digest-1GiB.bin").string();
    const auto small = (dir / "digest-64MiB.bin").string();
    std::printf("preparing %s ...\n", big.c_str());
    MakeFile(big, 1ull << 30);
    MakeFile(small, 64ull << 20);
    TimeOurs(big, "2.16.840.1.101.3.4.2.1"); // warm the page cache

    const int runs = 3;
    bool ok = true;
    struct Alg {
        const char* name;
        const char* oid;
    } const algs[] = {{"sha256", "2.16.840.1.101.3.4.2.1"}, {"sha512", "2.16.840.1.101.3.4.2.3"}};
    for (const auto& a : algs) {
        std::vector<double> ours, theirs;
        for (int i = 0; i < runs; ++i) { // interleaved, so both see the same machine state
            ours.push_back(TimeOurs(big, a.oid));
            theirs.push_back(TimeOpenssl(big, a.name));
        }
        const double mibOurs = 1024.0 / Median(ours), mibTheirs = 1024.0 / Median(theirs);
        const double ratio = mibOurs / mibTheirs;
        ok = ok && ratio >= 0.90;
        std::printf("%-7s FileDigest %7.1f MiB/s   openssl dgst %7.1f MiB/s   ratio %.3f  %s\n",
                    a.name, mibOurs, mibTheirs, ratio,
                    ratio >= 0.90 ? "(>= 0.90)" : "(BELOW 0.90)");
    }
    std::vector<double> hashed, cpu;
    for (int i = 0; i < runs; ++i) {
        const double cpuBefore = ProcessCpuSeconds();
        hashed.push_back(TimeOurs(big, "2.16.840.1.101.3.4.2.1"));
        cpu.push_back(ProcessCpuSeconds() - cpuBefore);
    }
    const double mibFile = 1024.0 / Median(hashed), mibSpeed = OpensslSpeedMiB();
    const double speedRatio = mibSpeed > 0 ? mibFile / mibSpeed : 0;
    ok = ok && speedRatio >= 0.95;
    std::printf("sha256  FileDigest %7.1f MiB/s   openssl speed %7.1f MiB/s  ratio %.3f  %s\n",
                mibFile, mibSpeed, speedRatio, speedRatio >= 0.95 ? "(>= 0.95)" : "(BELOW 0.95)");
    // `openssl speed` divides by its CPU time, FileDigest by the wall clock: on a busy machine
    // the two differ. Shown beside the target, for the reading of a low ratio: both by the
    // wall clock, and FileDigest per second of its CPU (reading and hashing thread together).
    const double mibElapsed = OpensslSpeedMiB(true), mibCpu = 1024.0 / Median(cpu);
    std::printf("        by the wall clock: openssl speed -elapsed %7.1f MiB/s, ratio %.3f\n",
                mibElapsed, mibElapsed > 0 ? mibFile / mibElapsed : 0);
    std::printf("        per CPU second: FileDigest %7.1f MiB/s, ratio %.3f\n", mibCpu,
                mibSpeed > 0 ? mibCpu / mibSpeed : 0);
    const long kibSmall = PeakKiB(small), kibBig = PeakKiB(big);
    std::printf("peak memory hashing 64 MiB: %ld KiB, 1 GiB: %ld KiB (difference %ld KiB)\n",
                kibSmall, kibBig, kibBig - kibSmall);
    ok = ok && kibBig - kibSmall < 1024;
    std::printf("%s\n", ok ? "targets met" : "targets NOT met");
    return ok ? 0 : 1;
}
