// Writers of one INI file in several processes: each read-modify-write holds the writers'
// lock, so no process undoes what another one wrote in between.
#include "platform/Profile.h"
#include "testlib/TempDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

pid_t StartWriter(const std::string& ini, char name, int keys) {
    const pid_t child = fork();
    if (child != 0)
        return child;
    for (int i = 0; i < keys; ++i) {
        const std::string key = std::string(1, name) + std::to_string(i);
        if (!WritePrivateProfileString("zarn", key.c_str(), "1", ini))
            _exit(3);
    }
    _exit(0);
}

bool Exited(pid_t child) {
    int status = 0;
    return waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string Read(const std::string& ini, const std::string& key) {
    std::string value;
    (void)GetPrivateProfileString("zarn", key, "", value, 255, ini);
    return value;
}

} // namespace

TEST(ProfileLockTest, ConcurrentWritersKeepEveryKey) {
    TempDir dir;
    const std::string ini = dir.File("mivoklient.ini");
    constexpr int kKeys = 150;
    const pid_t a = StartWriter(ini, 'a', kKeys);
    const pid_t b = StartWriter(ini, 'b', kKeys);
    ASSERT_TRUE(Exited(a));
    ASSERT_TRUE(Exited(b));
    int missing = 0;
    for (const char name : {'a', 'b'})
        for (int i = 0; i < kKeys; ++i)
            missing += Read(ini, std::string(1, name) + std::to_string(i)) == "1" ? 0 : 1;
    EXPECT_EQ(missing, 0);
}

TEST(ProfileLockTest, AnEditWaitsForTheLockAndReadsWhatItsHolderWrote) {
    TempDir dir;
    const std::string ini = dir.Write("mivoklient.ini", "[zarn]\nholder=0\n");
    const int lock = open((ini + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(lock, 0);
    ASSERT_EQ(flock(lock, LOCK_EX), 0);
    const pid_t writer = StartWriter(ini, 'w', 1);
    usleep(300000);
    EXPECT_EQ(Read(ini, "w0"), "") << "written while another process held the lock";
    // What the holder writes before it lets go is what the waiting edit reads.
    dir.Write("mivoklient.ini", "[zarn]\nholder=1\n");
    ASSERT_EQ(flock(lock, LOCK_UN), 0);
    close(lock);
    ASSERT_TRUE(Exited(writer));
    EXPECT_EQ(Read(ini, "w0"), "1");
    EXPECT_EQ(Read(ini, "holder"), "1");
}
