// Changes of the stamped-files list at 1,000 entries: each change is a locked read-merge-write
// of the list's section. Measured from one process and from two processes at once (1,000
// changes in all), against the plain write: the same section set from memory and the file
// replaced by the same atomic writer, without the lock, the read and the merge. Prints the
// changes per second of each and the ratios (target: at most 2x the plain write).
//
// The listed stamp files do not exist, so that the figures are the list's own cost and not
// the decoding of stamps (reading a stamp's time is the same in both ways of writing).
//
//   bench_list_change [FOLDER]     (default: a fresh folder in the temporary directory)
#include "bench/BenchSupport.h"
#include "core/ClientSettings.h"
#include "list/StampList.h"
#include "platform/AtomicFile.h"
#include "platform/Profile.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

using namespace bench;

namespace {

constexpr int kEntries = 1000;
constexpr int kChanges = 1000;

std::string Seed(int i) {
    return "/bench/stamps/seed-" + std::to_string(i) + ".txt.tsr";
}

std::string Added(int writer, int i) {
    return "/bench/stamps/w" + std::to_string(writer) + "-" + std::to_string(i) + ".txt.tsr";
}

// Change `i` of writer `writer` of `writers`: even ones list a new stamp, odd ones remove a
// listed one that no other writer removes, so the list stays at about 1,000 entries.
CStampListChange ChangeOf(int writer, int writers, int i) {
    if (i % 2 == 0)
        return {CStampListChange::Kind::Put, {Added(writer, i), "/bench/source.txt", ""}, 0};
    return {CStampListChange::Kind::Remove, {Seed((i / 2) * writers + writer), "", ""}, 0};
}

// An INI file with the user's other settings and a list of 1,000 entries.
void WriteSeed(const std::string& ini) {
    std::ofstream out(ini, std::ios::trunc);
    out << "[zarn]\nserver_url=https://tsa.example/\nhash_alg=2\n";
    out << "[time_stamped_files]\ncount=" << kEntries << "\n";
    for (int i = 0; i < kEntries; ++i)
        out << "tsf_item" << i << "=" << Seed(i) << ",/bench/source.txt\n";
    if (!out)
        Fail("cannot write " + ini);
}

// What the list must hold after `writers` writers made `changes` changes each.
std::set<std::string> Expected(int writers, int changes) {
    std::set<std::string> left;
    for (int i = 0; i < kEntries; ++i)
        left.insert(Seed(i));
    for (int w = 0; w < writers; ++w) {
        for (int i = 0; i < changes; ++i) {
            const CStampListChange change = ChangeOf(w, writers, i);
            if (change.m_kind == CStampListChange::Kind::Put)
                left.insert(change.m_entry.m_strStampFile);
            else
                left.erase(change.m_entry.m_strStampFile);
        }
    }
    return left;
}

void Check(const std::string& ini, int writers, int changes) {
    CClientSettings settings;
    settings.SetIniPath(ini);
    CStampList stored;
    LoadStampList(settings, stored);
    std::set<std::string> listed;
    for (const auto& entry : stored.Entries())
        listed.insert(entry.m_strStampFile);
    if (listed != Expected(writers, changes) ||
        listed.size() != static_cast<std::size_t>(stored.GetCount()))
        Fail("the stored list is not what the writers left in " + ini);
}

// One writer's changes through the registry, as the program makes them.
void RunMerged(const std::string& ini, int writer, int writers, int changes) {
    CClientSettings settings;
    settings.SetIniPath(ini);
    CStampList list;
    list.LoadAtStartup(settings);
    for (int i = 0; i < changes; ++i)
        if (!list.Change(settings, ChangeOf(writer, writers, i)))
            Fail("a change was not stored");
}

// The reference: the section set from the list in memory, the file replaced as a whole.
double TimePlain(const std::string& ini) {
    WriteSeed(ini);
    std::string text;
    std::ifstream in(ini);
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    ProfileText profile(std::move(text));
    CClientSettings settings;
    settings.SetIniPath(ini);
    CStampList list;
    LoadStampList(settings, list);
    std::vector<CStampListEntry> entries = list.Entries();

    const auto start = Clock::now();
    for (int i = 0; i < kChanges; ++i) {
        ApplyStampListChange(entries, ChangeOf(0, 1, i));
        std::vector<std::pair<std::string, std::string>> items;
        items.reserve(entries.size() + 1);
        for (std::size_t e = 0; e < entries.size(); ++e)
            items.emplace_back("tsf_item" + std::to_string(e),
                               entries[e].m_strStampFile + "," + entries[e].m_strSourceFile);
        items.emplace_back("count", std::to_string(entries.size()));
        if (!profile.SetMany(kSectionStampedFiles, items))
            Fail("the section was refused");
        const std::string& out = profile.Text();
        if (!WriteFileAtomically(ini,
                                 {reinterpret_cast<const unsigned char*>(out.data()), out.size()},
                                 FileMode::Settings))
            Fail("the plain write failed");
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    Check(ini, 1, kChanges);
    return seconds;
}

double TimeOneProcess(const std::string& ini) {
    WriteSeed(ini);
    const auto start = Clock::now();
    RunMerged(ini, 0, 1, kChanges);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    Check(ini, 1, kChanges);
    return seconds;
}

// Two processes with half the changes each, started together; the time until both are done.
double TimeTwoProcesses(const std::string& ini) {
    WriteSeed(ini);
    int go[2];
    if (pipe(go) != 0)
        Fail("pipe");
    pid_t children[2];
    for (int w = 0; w < 2; ++w) {
        children[w] = fork();
        if (children[w] < 0)
            Fail("fork");
        if (children[w] == 0) {
            close(go[1]);
            char byte = 0;
            if (read(go[0], &byte, 1) != 0) // waits until the parent closes its end
                _exit(3);
            RunMerged(ini, w, 2, kChanges / 2);
            _exit(0);
        }
    }
    close(go[0]);
    const auto start = Clock::now();
    close(go[1]);
    for (const pid_t child : children) {
        int status = 0;
        if (waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
            Fail("a writer failed");
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    Check(ini, 2, kChanges / 2);
    return seconds;
}

double Best(double (*run)(const std::string&), const std::string& ini) {
    double best = run(ini);
    for (int i = 0; i < 2; ++i)
        best = std::min(best, run(ini));
    return best;
}

} // namespace

int main(int argc, char** argv) {
    const fs::path dir = WorkFolder(argc, argv, "list");
    const std::string ini = (dir / "mivoklient.ini").string();

    const double plain = Best(TimePlain, ini);
    const double one = Best(TimeOneProcess, ini);
    const double two = Best(TimeTwoProcesses, ini);
    std::printf("%d changes of a list of %d entries (best of 3 runs)\n", kChanges, kEntries);
    std::printf("plain write (no lock, no merge):  %8.0f changes/s\n", kChanges / plain);
    std::printf("locked merge, one process:        %8.0f changes/s\n", kChanges / one);
    std::printf("locked merge, two processes:      %8.0f changes/s\n", kChanges / two);
    std::printf("ratio one process / plain:   %.2f (target <= 2.00)\n", one / plain);
    std::printf("ratio two processes / plain: %.2f (target <= 2.00)\n", two / plain);
    if (argc <= 1)
        fs::remove_all(dir);
    return 0;
}
