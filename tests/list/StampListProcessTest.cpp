// The registry in several processes at once, and a process that dies in the middle of a
// write: nothing that was stored before is ever lost.
#include "core/ClientSettings.h"
#include "list/StampList.h"
#include "testlib/TempDir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <random>
#include <set>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::string Stamp(char writer, int i) {
    return std::string("/stamps/") + writer + std::to_string(i) + ".tsr";
}

std::set<std::string> StoredStamps(CClientSettings& settings) {
    CStampList loaded;
    LoadStampList(settings, loaded);
    std::set<std::string> stamps;
    for (const auto& entry : loaded.Entries())
        EXPECT_TRUE(stamps.insert(entry.m_strStampFile).second)
            << "twice: " << entry.m_strStampFile;
    return stamps;
}

class StampListProcessTest : public ::testing::Test {
protected:
    void SetUp() override { settings.SetIniPath(dir.File("mivoklient.ini")); }

    // Runs `rounds` changes of writer `name` in a child: puts entry i, and removes entry
    // i - 1 on every third i. Each stored change is reported on `report` (one byte).
    pid_t StartWriter(char name, int rounds, int report = -1) {
        const pid_t child = fork();
        if (child != 0)
            return child;
        CClientSettings mine;
        mine.SetIniPath(settings.IniPath());
        CStampList registry;
        registry.LoadAtStartup(mine);
        for (int i = 0; i < rounds; ++i) {
            CStampListChange change{CStampListChange::Kind::Put, {Stamp(name, i), "", ""}, 0};
            if (i % 3 == 2)
                change = {CStampListChange::Kind::Remove, {Stamp(name, i - 1), "", ""}, 0};
            if (!registry.Change(mine, change))
                _exit(3);
            if (report >= 0 && write(report, &name, 1) != 1)
                _exit(4);
        }
        _exit(0);
    }
    // What writer `name` leaves after `done` changes.
    static std::set<std::string> Left(char name, int done) {
        std::set<std::string> left;
        for (int i = 0; i < done; ++i) {
            if (i % 3 == 2)
                left.erase(Stamp(name, i - 1));
            else
                left.insert(Stamp(name, i));
        }
        return left;
    }

    TempDir dir;
    CClientSettings settings;
};

} // namespace

TEST_F(StampListProcessTest, ThreeWritersAtOnceLeaveTheUnionOfWhatEachDid) {
    constexpr int kRounds = 90;
    const pid_t writers[] = {StartWriter('a', kRounds), StartWriter('b', kRounds),
                             StartWriter('c', kRounds)};
    for (const pid_t writer : writers) {
        int status = 0;
        ASSERT_EQ(waitpid(writer, &status, 0), writer);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
    std::set<std::string> expected;
    for (const char name : {'a', 'b', 'c'})
        expected.merge(Left(name, kRounds));
    EXPECT_EQ(StoredStamps(settings), expected);
}

// The writer is killed at random moments, most of them inside a write: the file is always
// whole, and it holds every change the writer had reported as stored.
TEST_F(StampListProcessTest, AWriterKilledAtAnyMomentLosesNothingItHadStored) {
    std::mt19937 random(1612);
    int total = 0; // changes stored over all rounds, by writers named round by round
    std::set<std::string> expected;
    for (int round = 0; round < 24; ++round) {
        const char name = static_cast<char>('A' + round);
        int pipeFds[2];
        ASSERT_EQ(pipe(pipeFds), 0);
        const pid_t child = StartWriter(name, 100000, pipeFds[1]);
        close(pipeFds[1]);
        char byte = 0;
        ASSERT_EQ(read(pipeFds[0], &byte, 1), 1) << "the writer did not start";
        int done = 1;
        usleep(static_cast<useconds_t>(random() % 20000));
        ASSERT_EQ(kill(child, SIGKILL), 0);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the writer ended on its own: " << status;
        while (read(pipeFds[0], &byte, 1) == 1)
            ++done;
        close(pipeFds[0]);

        // The change in flight when it died may or may not have been stored.
        const std::set<std::string> stored = StoredStamps(settings);
        std::set<std::string> withFlight = expected, without = expected;
        withFlight.merge(Left(name, done + 1));
        without.merge(Left(name, done));
        ASSERT_TRUE(stored == without || stored == withFlight) << "round " << round;
        expected = stored;
        total += done;
    }
    RecordProperty("changes_stored", total);
}
