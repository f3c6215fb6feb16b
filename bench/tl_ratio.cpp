// The EU trusted lists, measured: the import of the real lists of tests/data (about 10 MB of
// XML: the LOTL through its pivots, six national lists, each signature verified), against
// only parsing the same files; the load of the stored indexes (target: under 50 ms); and
// the qualified verdict of one stamp against the check of its stamp file (target: the
// verdict adds under 5 %).
//
//   bench_trusted_lists [TRUSTED-LISTS-FOLDER [REAL-TOKENS-FOLDER]]
#include "core/GenTime.h"
#include "core/QualifiedVerdict.h"
#include "core/TimeStampPart.h"
#include "core/TrustedListCache.h"
#include "core/TrustedListPins.h"
#include "core/TrustedListSet.h"
#include "core/TrustedListUpdate.h"
#include "core/TrustedListXml.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using SteadyClock = std::chrono::steady_clock;

namespace {

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "bench_trusted_lists: %s\n", what.c_str());
    std::exit(2);
}

double MillisecondsSince(SteadyClock::time_point start) {
    return std::chrono::duration<double, std::milli>(SteadyClock::now() - start).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Every XML file below `dir` with its size.
std::vector<std::string> XmlFiles(const std::string& dir, std::size_t& bytes) {
    std::vector<std::string> files;
    bytes = 0;
    for (const auto& entry : fs::recursive_directory_iterator(dir))
        if (entry.is_regular_file() && entry.path().extension() == ".xml") {
            files.push_back(entry.path().string());
            bytes += static_cast<std::size_t>(entry.file_size());
        }
    return files;
}

double ParseOnly(const std::vector<std::string>& files) {
    const auto start = SteadyClock::now();
    for (const std::string& file : files) {
        std::string bytes;
        tl::XmlDocPtr doc;
        std::string error;
        if (!tl::ReadFileBytes(file, bytes) || !tl::ParseXml(bytes, doc, error))
            Fail("cannot parse " + file);
    }
    return MillisecondsSince(start);
}

double Import(const std::string& lists, const std::string& cache) {
    fs::remove_all(cache);
    tl::UpdateOptions options;
    options.pins = tl::ReadCertificatesIn(lists + "/oj-2019-c276");
    options.cacheDir = cache;
    const auto start = SteadyClock::now();
    tl::FolderListSource source(lists);
    const tl::UpdateSummary summary = tl::UpdateTrustedLists(source, options);
    const double ms = MillisecondsSince(start);
    if (!summary.Ok() || summary.Count(tl::TerritoryResult::State::Updated) != 6)
        Fail("the import did not verify the six lists: " + summary.lotl.message);
    return ms;
}

struct Stamp {
    std::string path;
    CTimeStampPart part;
    uint64_t genTime = 0;
};

void LoadStamp(Stamp& stamp) {
    if (stamp.part.ProcessStampFile(stamp.path) != 1 || stamp.part.SignerCertificate() == nullptr)
        Fail("cannot read " + stamp.path);
    if (!GenTimeToFileTime(stamp.part.TstInfo().szGenTime, stamp.genTime))
        Fail("no genTime in " + stamp.path);
}

// Microseconds per call of ProcessStampFile and of the verdict, for one stamp; and of the
// first verdict on freshly loaded lists, which decodes the keys it needs.
void CompareVerdict(const std::string& cache, const std::string& tokens, const char* name) {
    Stamp stamp;
    stamp.path = tokens + "/" + name;
    LoadStamp(stamp);
    const tl::TrustedListSet lists = tl::TrustedListSet::Load(cache);
    const auto first = SteadyClock::now();
    (void)QualifyStamp(lists, stamp.part.SignerCertificate()->Cert(), nullptr, stamp.genTime,
                       stamp.genTime);
    const double firstUs = MillisecondsSince(first) * 1000;
    constexpr int kRounds = 300;
    std::vector<double> process;
    std::vector<double> verdict;
    Qualified result = Qualified::No;
    for (int round = 0; round < 5; ++round) {
        auto start = SteadyClock::now();
        for (int i = 0; i < kRounds; ++i) {
            CTimeStampPart part;
            if (part.ProcessStampFile(stamp.path) != 1)
                Fail("ProcessStampFile failed on " + stamp.path);
        }
        process.push_back(MillisecondsSince(start) * 1000 / kRounds);
        start = SteadyClock::now();
        for (int i = 0; i < kRounds; ++i)
            result = QualifyStamp(lists, stamp.part.SignerCertificate()->Cert(), nullptr,
                                  stamp.genTime, stamp.genTime)
                         .qualified;
        verdict.push_back(MillisecondsSince(start) * 1000 / kRounds);
    }
    const char* answer = result == Qualified::Yes  ? "yes"
                         : result == Qualified::No ? "no"
                                                   : "unknown";
    std::printf("  %-40s %-7s ProcessStampFile %7.1f us, verdict %5.1f us, adds %5.2f %% "
                "(first verdict %6.1f us)\n",
                name, answer, Median(process), Median(verdict),
                100.0 * Median(verdict) / Median(process), firstUs);
}

} // namespace

int main(int argc, char** argv) {
    const std::string lists = argc > 1 ? argv[1] : MIVO_TEST_DATA_DIR "/trusted-lists";
    const std::string tokens = argc > 2 ? argv[2] : MIVO_TEST_DATA_DIR "/real-tokens";
    const std::string cache =
        (fs::temp_directory_path() / ("mivo-bench-tl-" + std::to_string(getpid()))).string();

    std::size_t bytes = 0;
    const std::vector<std::string> files = XmlFiles(lists, bytes);
    std::vector<double> parse;
    std::vector<double> import;
    for (int round = 0; round < 3; ++round) {
        parse.push_back(ParseOnly(files));
        import.push_back(Import(lists, cache));
    }
    std::printf("import of %zu XML files, %.1f MB (LOTL through 2 pivots, 6 lists, signatures):\n",
                files.size(), static_cast<double>(bytes) / 1e6);
    std::printf("  import %.0f ms (%.1f MB/s); parsing alone %.0f ms; import / parse %.2f\n",
                Median(import), static_cast<double>(bytes) / 1e3 / Median(import), Median(parse),
                Median(import) / Median(parse));

    std::vector<double> load;
    tl::TrustedListSet set;
    for (int round = 0; round < 20; ++round) {
        const auto start = SteadyClock::now();
        set = tl::TrustedListSet::Load(cache);
        load.push_back(MillisecondsSince(start));
    }
    std::size_t certs = 0;
    for (const tl::ListIndex& list : set.Lists())
        certs += list.certs.size();
    std::printf("index load (%zu lists, %zu listed certificates): %.2f ms median, %.2f ms worst "
                "(target under 50 ms)\n",
                set.Lists().size(), certs, Median(load),
                *std::max_element(load.begin(), load.end()));

    std::printf("qualified verdict against ProcessStampFile of the same stamp (target: adds "
                "under 5 %%):\n");
    for (const char* token : {"disig-rsa-sha256-token.tst", "infocert-rsa-sha256-token.tst",
                              "belgium-rsa-sha256-token.tst", "exceet-rsa-sha256-token-der.tst",
                              "digicert-rsa-sha512-reply-2023.tsr"})
        CompareVerdict(cache, tokens, token);
    fs::remove_all(cache);
    return 0;
}
