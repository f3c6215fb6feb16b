// The start-up load of the stamped-files registry: 1,000 and 10,000 listed stamps, each
// read, decoded, signature-checked and its time refreshed. Prints the time per entry of
// both (the cost must grow linearly with the count, so the two should be alike), and the
// ratio to `openssl ts -verify` of a sample of the same stamps, from one run.
//
//   bench_registry_load [FOLDER]     (default: a fresh folder in the temporary directory)
#include "bench/BenchSupport.h"
#include "core/ClientSettings.h"
#include "list/StampList.h"
#include "tools/TestTsa.h"
#include "tools/TokenFactory.h"

#include <openssl/evp.h>
#include <openssl/ts.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using mivo::test::Bytes;

using namespace bench;

namespace {

constexpr int kLargest = 10000;
constexpr int kOpensslSample = 200;

// A DER TimeStampReq for `data` (SHA-256 imprint, a nonce), as the program sends one.
Bytes Request(const std::string& data, int nonce) {
    unsigned char digest[32];
    EVP_Digest(data.data(), data.size(), digest, nullptr, EVP_sha256(), nullptr);
    TS_REQ* request = TS_REQ_new();
    TS_MSG_IMPRINT* imprint = TS_MSG_IMPRINT_new();
    X509_ALGOR* algorithm = X509_ALGOR_new();
    X509_ALGOR_set0(algorithm, OBJ_nid2obj(NID_sha256), V_ASN1_NULL, nullptr);
    TS_MSG_IMPRINT_set_algo(imprint, algorithm);
    TS_MSG_IMPRINT_set_msg(imprint, digest, sizeof digest);
    TS_REQ_set_version(request, 1);
    TS_REQ_set_msg_imprint(request, imprint);
    ASN1_INTEGER* n = ASN1_INTEGER_new();
    ASN1_INTEGER_set(n, nonce + 1);
    TS_REQ_set_nonce(request, n);
    TS_REQ_set_cert_req(request, 1);
    unsigned char* der = nullptr;
    const int length = i2d_TS_REQ(request, &der);
    Bytes bytes(der, der + length);
    OPENSSL_free(der);
    ASN1_INTEGER_free(n);
    X509_ALGOR_free(algorithm);
    TS_MSG_IMPRINT_free(imprint);
    TS_REQ_free(request);
    return bytes;
}

struct Stamp {
    std::string source;
    std::string stamp;
};

// Seconds for one start-up load of a registry listing `stamps` (their INI file written
// beforehand, outside the measurement).
double TimeLoad(const fs::path& dir, const std::vector<Stamp>& stamps, std::size_t count) {
    const std::string ini = (dir / ("registry-" + std::to_string(count) + ".ini")).string();
    {
        std::ofstream out(ini);
        out << "[time_stamped_files]\ncount=" << count << "\n";
        for (std::size_t i = 0; i < count; ++i)
            out << "tsf_item" << i << "=" << stamps[i].stamp << "," << stamps[i].source << "\n";
    }
    CClientSettings settings;
    settings.SetIniPath(ini);
    CStampList list;
    const auto start = Clock::now();
    list.LoadAtStartup(settings);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (list.GetCount() != static_cast<int>(count))
        Fail("loaded " + std::to_string(list.GetCount()) + " entries of " + std::to_string(count));
    for (const auto& entry : list.Entries())
        if (entry.m_strUtcTime.empty())
            Fail(entry.m_strStampFile + " was not read");
    return seconds;
}

} // namespace

int main(int argc, char** argv) {
    const fs::path dir = WorkFolder(argc, argv, "registry");
    setenv("MIVOKLIENT_CONFIG_DIR", (dir / "config").c_str(), 1);
    setenv("MIVOKLIENT_SYSCONF_DIR", (dir / "etc").c_str(), 1);

    std::printf("making %d stamps of the test TSA in %s ...\n", kLargest, dir.c_str());
    std::vector<Stamp> stamps;
    for (int i = 0; i < kLargest; ++i) {
        const std::string data = "source " + std::to_string(i) + "\n";
        const fs::path source = dir / ("s" + std::to_string(i) + ".txt");
        WriteFile(source, data);
        const Bytes reply = mivo::test::TestTsa::MakeReply(Request(data, i), {}, "1.2.3.4.1");
        WriteFile(source.string() + ".tsr", std::string(reply.begin(), reply.end()));
        stamps.push_back({source.string(), source.string() + ".tsr"});
    }

    TimeLoad(dir, stamps, 1000); // warm the page cache and the libraries
    std::vector<double> small, large;
    for (int run = 0; run < 3; ++run) {
        small.push_back(TimeLoad(dir, stamps, 1000));
        large.push_back(TimeLoad(dir, stamps, kLargest));
    }
    const double perSmall = Median(small) / 1000 * 1e6;
    const double perLarge = Median(large) / kLargest * 1e6;

    const std::string ca = (dir / "ca.pem").string();
    WriteFile(ca, mivo::test::TokenFactory::CaCertPem());
    const std::string script = (dir / "openssl-verify.sh").string();
    {
        std::ofstream out(script);
        out << "set -e\n";
        for (int i = 0; i < kOpensslSample; ++i)
            out << "openssl ts -verify -data '" << stamps[static_cast<std::size_t>(i)].source
                << "' -in '" << stamps[static_cast<std::size_t>(i)].stamp << "' -CAfile '" << ca
                << "' >/dev/null 2>&1\n";
    }
    const auto start = Clock::now();
    if (std::system(("sh '" + script + "'").c_str()) != 0)
        Fail("openssl ts -verify failed: see " + script);
    const double perOpenssl =
        std::chrono::duration<double>(Clock::now() - start).count() / kOpensslSample * 1e6;

    std::printf("start-up load,  1,000 entries: %8.1f us per entry (%.2f s)\n", perSmall,
                Median(small));
    std::printf("start-up load, 10,000 entries: %8.1f us per entry (%.2f s)\n", perLarge,
                Median(large));
    std::printf("growth: per-entry cost at 10,000 / at 1,000 = %.2f (1.00 is linear)\n",
                perLarge / perSmall);
    std::printf("openssl ts -verify, one process per stamp: %8.1f us per stamp\n", perOpenssl);
    std::printf("ratio openssl / our load per entry: %.1f\n", perOpenssl / perLarge);
    if (argc <= 1)
        fs::remove_all(dir);
    return 0;
}
