#include "platform/ConfigDirs.h"
#include "platform/LastError.h"

#include "testlib/TempDir.h"

#include <cerrno>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

TEST(ConfigDirsTest, UserFolderPrecedence) {
    const ScopedEnv home("HOME", "/home/jana");
    {
        const ScopedEnv own("MIVOKLIENT_CONFIG_DIR", "/srv/mivo/");
        const ScopedEnv xdg("XDG_CONFIG_HOME", "/xdg");
        EXPECT_EQ(UserConfigDir(), "/srv/mivo");
        EXPECT_EQ(UserIniPath(), "/srv/mivo/mivoklient.ini");
        EXPECT_EQ(AddressBookDir(), "/srv/mivo/addressbook");
    }
    {
        const ScopedEnv own("MIVOKLIENT_CONFIG_DIR", "");
        const ScopedEnv xdg("XDG_CONFIG_HOME", "/xdg/");
        EXPECT_EQ(UserConfigDir(), "/xdg/mivoklient");
    }
    {
        const ScopedEnv own("MIVOKLIENT_CONFIG_DIR", nullptr);
        const ScopedEnv xdg("XDG_CONFIG_HOME", "relative/ignored");
        EXPECT_EQ(UserConfigDir(), "/home/jana/.config/mivoklient");
    }
    {
        const ScopedEnv own("MIVOKLIENT_CONFIG_DIR", nullptr);
        const ScopedEnv xdg("XDG_CONFIG_HOME", nullptr);
        EXPECT_EQ(UserIniPath(), "/home/jana/.config/mivoklient/mivoklient.ini");
    }
}

TEST(ConfigDirsTest, SystemFolderPrecedence) {
    {
        const ScopedEnv sysconf("MIVOKLIENT_SYSCONF_DIR", nullptr);
        EXPECT_EQ(SystemConfigDir(), "/etc/mivoklient");
    }
    const ScopedEnv sysconf("MIVOKLIENT_SYSCONF_DIR", "/opt/mivo/etc");
    EXPECT_EQ(SystemConfigDir(), "/opt/mivo/etc");
}

TEST(ConfigDirsTest, EnsureCreatesPrivateFoldersOnDemand) {
    TempDir dir;
    const std::string target = dir.File("a/b/mivoklient");
    const ScopedEnv own("MIVOKLIENT_CONFIG_DIR", target.c_str());
    const mode_t oldMask = umask(0);
    EXPECT_TRUE(EnsureUserConfigDir());
    umask(oldMask);
    struct stat st {};
    ASSERT_EQ(stat(target.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0700U);
    EXPECT_TRUE(EnsureUserConfigDir()); // already there

    dir.Write("file", "x");
    const ScopedEnv blocked("MIVOKLIENT_CONFIG_DIR", dir.File("file/sub").c_str());
    EXPECT_FALSE(EnsureUserConfigDir());
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ENOTDIR));
}

} // namespace
