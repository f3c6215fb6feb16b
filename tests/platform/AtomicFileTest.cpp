#include "platform/AtomicFile.h"
#include "platform/LastError.h"

#include "WriterProcess.h"
#include "testlib/TempDir.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <random>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::span<const unsigned char> Bytes(std::string_view text) {
    return {reinterpret_cast<const unsigned char*>(text.data()), text.size()};
}

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

// Runs `body` in a child process (umask, limits and identity of its own) and answers what
// it returned; -1 when it did not end normally.
int InChild(const std::function<int()>& body) {
    const pid_t child = fork();
    if (child == 0) {
        _exit(body());
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status)) {
        return -1;
    }
    return WEXITSTATUS(status);
}

// Both ways of making the temporary file must behave alike.
class AtomicFileTest : public ::testing::TestWithParam<TemporaryKind> {
protected:
    // Writes in a child and answers the failure as "step errno written", or "ok".
    std::string WriteInChild(
        const std::string& path, const std::string& content,
        const std::function<bool()>& setUp = [] { return true; }) {
        int report[2];
        EXPECT_EQ(pipe(report), 0);
        InChild([&] {
            if (!setUp()) {
                return 1;
            }
            AtomicWriteFailure failure;
            std::string text = "ok";
            if (!WriteFileAtomically(path, Bytes(content), FileMode::Document, &failure,
                                     GetParam())) {
                text = std::to_string(static_cast<int>(failure.step)) + " " +
                       std::to_string(GetLastError()) + " " + std::to_string(failure.written);
            }
            return write(report[1], text.data(), text.size()) > 0 ? 0 : 1;
        });
        close(report[1]);
        char buffer[128] = {};
        const ssize_t n = read(report[0], buffer, sizeof buffer - 1);
        close(report[0]);
        return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : "child failed";
    }

    std::string Step(AtomicWriteStep step, int error, std::size_t written = 0) {
        return std::to_string(static_cast<int>(step)) + " " + std::to_string(error) + " " +
               std::to_string(written);
    }

    TempDir dir;
};

INSTANTIATE_TEST_SUITE_P(Kinds, AtomicFileTest,
                         ::testing::Values(TemporaryKind::UnnamedWherePossible,
                                           TemporaryKind::Named),
                         [](const auto& kind) {
                             return kind.param == TemporaryKind::Named ? "Named" : "Unnamed";
                         });

TEST_P(AtomicFileTest, ModesFollowTheUmaskOrStayPrivate) {
    for (const mode_t mask : {mode_t{022}, mode_t{077}}) {
        const std::string document = dir.File("stamp.tsr");
        const std::string replaced = dir.Write("old.tsr", "old");
        const std::string settings = dir.File("new.ini");
        const std::string kept = dir.Write("kept.ini", "[zarn]\n");
        ASSERT_EQ(chmod(replaced.c_str(), 0600), 0);
        ASSERT_EQ(chmod(kept.c_str(), 0640), 0);
        ASSERT_EQ(InChild([&] {
                      umask(mask);
                      const auto data = Bytes("content");
                      return WriteFileAtomically(document, data, FileMode::Document, nullptr,
                                                 GetParam()) &&
                                     WriteFileAtomically(replaced, data, FileMode::Document,
                                                         nullptr, GetParam()) &&
                                     WriteFileAtomically(settings, data, FileMode::Settings,
                                                         nullptr, GetParam()) &&
                                     WriteFileAtomically(kept, data, FileMode::Settings, nullptr,
                                                         GetParam())
                                 ? 0
                                 : 1;
                  }),
                  0);
        // A document gets rw-rw-rw- less the umask, also when it replaces a file.
        EXPECT_EQ(ModeOf(document), 0666 & ~mask) << std::oct << mask;
        EXPECT_EQ(ModeOf(replaced), 0666 & ~mask) << std::oct << mask;
        // Settings are private when new and keep the mode the user gave them.
        EXPECT_EQ(ModeOf(settings), 0600U);
        EXPECT_EQ(ModeOf(kept), 0640U);
        EXPECT_EQ(TempDir::Read(kept), "content");
        EXPECT_EQ(OtherFiles(dir.Path(), ""), 4);
        for (const auto& path : {document, replaced, settings, kept}) {
            fs::remove(path);
        }
    }
}

TEST_P(AtomicFileTest, ReplacesASymbolicLinkInsteadOfItsTarget) {
    const std::string target = dir.Write("target", "target");
    const std::string link = dir.File("link.tsr");
    ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
    ASSERT_TRUE(WriteFileAtomically(link, Bytes("new"), FileMode::Document, nullptr, GetParam()));
    EXPECT_FALSE(fs::is_symlink(link));
    EXPECT_EQ(TempDir::Read(link), "new");
    EXPECT_EQ(TempDir::Read(target), "target");
}

TEST_P(AtomicFileTest, AFailedWriteKeepsTheOldContentAndLeavesNoTemporary) {
    const std::string path = dir.Write("a.tsr", "an earlier stamp");
    const std::string content(5000, 'x');

    // A file that cannot grow past 100 bytes: the write stops part-way.
    EXPECT_EQ(WriteInChild(path, content,
                           [] {
                               std::signal(SIGXFSZ, SIG_IGN);
                               const rlimit limit{100, 100};
                               return setrlimit(RLIMIT_FSIZE, &limit) == 0;
                           }),
              Step(AtomicWriteStep::Write, EFBIG, 100));
    EXPECT_EQ(TempDir::Read(path), "an earlier stamp");
    EXPECT_EQ(OtherFiles(dir.Path(), "a.tsr"), 0);

    // A folder the writer may not write to (root may write anywhere: then as "nobody").
    ASSERT_EQ(chmod(dir.Path().c_str(), 0555), 0);
    EXPECT_EQ(
        WriteInChild(path, content,
                     [] { return geteuid() != 0 || (setgid(65534) == 0 && setuid(65534) == 0); }),
        Step(AtomicWriteStep::Create, EACCES));
    ASSERT_EQ(chmod(dir.Path().c_str(), 0700), 0);
    EXPECT_EQ(TempDir::Read(path), "an earlier stamp");

    // A folder in the way of the name: the temporary file is made, then cannot take it.
    fs::create_directory(dir.File("folder.tsr"));
    EXPECT_EQ(WriteInChild(dir.File("folder.tsr"), content),
              Step(AtomicWriteStep::Replace, EISDIR));
    EXPECT_EQ(OtherFiles(dir.Path(), "a.tsr"), 1); // the folder only

    EXPECT_EQ(WriteInChild(dir.File("missing/a.tsr"), content),
              Step(AtomicWriteStep::Create, ENOENT));
    EXPECT_EQ(WriteInChild(path, ""), "ok");
    EXPECT_EQ(TempDir::Read(path), "");
}

// A temporary file that a killed writer left is removed by the next write into its folder
// once it is an hour old (a complete, linked one at once), only if it is certainly ours and
// no writer holds its lock.
TEST_P(AtomicFileTest, StaleTemporariesOfOursGoWithTheNextWrite) {
    const auto make = [&](const std::string& name, long age) {
        const std::string path = dir.Write(name, "left over");
        const timespec times[2] = {{time(nullptr) - age, 0}, {time(nullptr) - age, 0}};
        EXPECT_EQ(utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0);
        return path;
    };
    const long stale = 3700, fresh = 3500;
    const std::string ours = make(".mivoklient-a1B2c3D4e5F6", stale);
    const std::string earlier = make(".mivoklient-stamp-Q9w8E7", stale);
    const std::string earlierIni = make(".mivoklient.ini.Ab12Cd", stale);
    const std::vector<std::string> kept = {
        make(".mivoklient-Z9y8X7w6V5u4", fresh),   // another writer may still be at it
        make(".mivoklient-notes.txt", stale),      // not a name we make
        make(".mivoklient-a1B2c3D4e5F", stale),    // one letter short
        make("mivoklient-a1B2c3D4e5F6", stale),    // no dot
        make(".mivoklient-stamp-Q9w8E", stale),    // one letter short
        make(".mivoklient.ini.Ab12Cd.bak", stale), // a user's copy
    };
    const std::string linked = make(".mivoklient-linked-k1LLed0ne000", 0);
    const std::string busyLinked = make(".mivoklient-linked-w0rk1ng0n1t0", 0);
    const std::string busyStale = make(".mivoklient-sl0wWr1ter000", stale);
    std::vector<int> held; // live writers hold the lock of their temporary file
    for (const std::string& busy : {busyLinked, busyStale}) {
        held.push_back(open(busy.c_str(), O_RDONLY | O_CLOEXEC));
        ASSERT_EQ(flock(held.back(), LOCK_EX), 0) << busy;
    }
    fs::create_directory(dir.File(".mivoklient-folder00000"));
    const std::string link = dir.File(".mivoklient-L1nkL1nkL1nk");
    ASSERT_EQ(symlink("a.tsr", link.c_str()), 0);
    const timespec old[2] = {{time(nullptr) - stale, 0}, {time(nullptr) - stale, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, link.c_str(), old, AT_SYMLINK_NOFOLLOW), 0);
    std::string foreign;
    if (geteuid() == 0) { // only root can make a file of another user
        foreign = make(".mivoklient-f0re1gnf0re1", stale);
        ASSERT_EQ(chown(foreign.c_str(), 65534, 65534), 0);
    }

    // A write elsewhere leaves this folder alone.
    TempDir other;
    ASSERT_TRUE(WriteFileAtomically(other.File("b.tsr"), Bytes("b"), FileMode::Document, nullptr,
                                    GetParam()));
    EXPECT_TRUE(fs::exists(ours));

    ASSERT_TRUE(WriteFileAtomically(dir.File("a.tsr"), Bytes("a"), FileMode::Document, nullptr,
                                    GetParam()));
    EXPECT_FALSE(fs::exists(ours));
    EXPECT_FALSE(fs::exists(linked));
    EXPECT_TRUE(fs::exists(busyLinked));
    EXPECT_TRUE(fs::exists(busyStale));
    for (const int fd : held)
        close(fd);
    EXPECT_FALSE(fs::exists(earlier));
    EXPECT_FALSE(fs::exists(earlierIni));
    for (const auto& path : kept) {
        EXPECT_TRUE(fs::exists(path)) << path;
    }
    EXPECT_TRUE(fs::is_directory(dir.File(".mivoklient-folder00000")));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_TRUE(foreign.empty() || fs::exists(foreign));
}

// Whether the file system of `folder` has unnamed temporary files.
bool HasUnnamedTemporaries(const std::string& folder) {
    const int fd = open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (fd >= 0) {
        close(fd);
    }
    return fd >= 0;
}

// A writer killed at random moments of repeated writes must always leave the complete old
// content or the complete new one. An unnamed temporary file vanishes with its writer and
// has a name only between linking it in and renaming it, so kills leave (almost) none
// behind; a named one exists for the whole write, so a kill mid-write leaves it (for a
// later write to remove once it is stale). How many the kills left is recorded.
TEST_P(AtomicFileTest, KillNineAtRandomMomentsLeavesOldOrNewContent) {
    const std::string contentA(200000, 'A');
    const std::string contentB = std::string(150000, 'B') + "end";
    const std::string path = dir.Write("a.tsr", contentA);
    const bool named = GetParam() == TemporaryKind::Named;
    std::mt19937 random(named ? 77 : 78);
    const int rounds = named ? 100 : 200;
    int midWrite = 0;
    int leftovers = 0;
    for (int round = 0; round < rounds; ++round) {
        int done[2];
        ASSERT_EQ(pipe(done), 0);
        const pid_t child = fork();
        ASSERT_NE(child, -1);
        if (child == 0) {
            close(done[0]);
            for (bool b = true;; b = !b) {
                if (!WriteFileAtomically(path, Bytes(b ? contentB : contentA), FileMode::Document,
                                         nullptr, GetParam())) {
                    _exit(3);
                }
                [[maybe_unused]] const ssize_t n = write(done[1], "w", 1);
            }
        }
        close(done[1]);
        char signal = 0;
        ASSERT_EQ(read(done[0], &signal, 1), 1) << "the writer did not start";
        usleep(static_cast<useconds_t>(random() % 8000));
        // Stopped first, to learn whether the kill falls into a write.
        ASSERT_EQ(kill(child, SIGSTOP), 0);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, WUNTRACED), child);
        midWrite += HoldsFileIn(child, dir.Path()) ? 1 : 0;
        ASSERT_EQ(kill(child, SIGKILL), 0);
        ASSERT_EQ(waitpid(child, &status, 0), child);
        close(done[0]);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the writer failed on its own, status " << status;

        const std::string content = TempDir::Read(path);
        ASSERT_TRUE(content == contentA || content == contentB)
            << "round " << round << ": a file of " << content.size() << " bytes";
        const int left = OtherFiles(dir.Path(), "a.tsr");
        leftovers += left;
        if (!named && HasUnnamedTemporaries(dir.Path())) {
            // A kill between the link and the rename leaves the complete file under a
            // temporary name, unlocked: the next write in the folder removes it at once.
            ASSERT_TRUE(WriteFileAtomically(path, Bytes(contentA), FileMode::Document));
            ASSERT_EQ(OtherFiles(dir.Path(), "a.tsr"), 0) << "round " << round;
        }
        for (const auto& entry : fs::directory_iterator(dir.Path())) {
            if (entry.path().filename() != "a.tsr") {
                fs::remove(entry.path());
            }
        }
    }
    RecordProperty("killed_mid_write", midWrite);
    RecordProperty("temporaries_left", leftovers);
    std::printf("%d kills, %d in the middle of a write, %d temporary files left\n", rounds,
                midWrite, leftovers);
    // Most of a writer's time is spent writing: kills that never hit a write test nothing.
    EXPECT_GE(midWrite, rounds / 4);
}

} // namespace
