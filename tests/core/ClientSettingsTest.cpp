// The settings: built-in defaults, the system folder's "default" section, the load clamps,
// the eleven keys of Save, and the user's INI file.
#include "core/ClientSettings.h"
#include "platform/ConfigDirs.h"

#include "testlib/TempDir.h"

#include <gtest/gtest.h>

#include <climits>
#include <sys/stat.h>

namespace {

// Both configuration folders in a fresh temporary folder.
class ClientSettingsTest : public ::testing::Test {
protected:
    ClientSettingsTest()
        : m_system(m_dir.File("etc")), m_user(m_dir.File("home/.config/mivoklient")),
          m_sysEnv("MIVOKLIENT_SYSCONF_DIR", m_system.c_str()),
          m_userEnv("MIVOKLIENT_CONFIG_DIR", m_user.c_str()) {
        std::filesystem::create_directories(m_system);
    }

    std::string WriteSystemIni(const std::string& text) {
        return m_dir.Write("etc/mivoklient.ini", text);
    }
    std::string WriteIni(const std::string& text) { return m_dir.Write("user.ini", text); }

    TempDir m_dir;
    std::string m_system;
    std::string m_user;
    ScopedEnv m_sysEnv;
    ScopedEnv m_userEnv;
};

} // namespace

TEST_F(ClientSettingsTest, WithoutAnyIniFileTheBuiltInDefaultsApply) {
    CClientSettings settings;
    EXPECT_EQ(settings.m_strServerUrl, BuiltInServerUrl());
    EXPECT_EQ(BuiltInServerUrl().rfind("https://", 0), 0U);
    EXPECT_TRUE(BuiltInServerUrl().ends_with("/cgi-bin/razitko.cgi"));
    EXPECT_EQ(settings.m_strRequestPolicyOid, BuiltInPolicyOid());
    EXPECT_FALSE(BuiltInPolicyOid().empty());
    EXPECT_EQ(settings.m_nHashAlg, 0);
    EXPECT_EQ(settings.m_nSaveTsr, 1);
    EXPECT_EQ(settings.m_nProxyType, 0);
    EXPECT_EQ(settings.m_nTimeoutSec, 180);
    EXPECT_EQ(settings.m_strUserAgent, "Mozilla/4.0 (compatible; )");
    EXPECT_EQ(settings.m_strIniFile, "mivoklient.ini");
    EXPECT_EQ(settings.Load(), 1); // a missing file leaves everything as it is
    EXPECT_EQ(settings.m_strServerUrl, BuiltInServerUrl());
}

TEST_F(ClientSettingsTest, TheSystemFoldersDefaultSectionReplacesTheBuiltInDefaults) {
    WriteSystemIni("[default]\npolicy_oid=1.2.3.4.99\nhash_alg=2\nserver_url=http://tsa.local/x\n");
    const std::string user =
        WriteIni("[default]\npolicy_oid=9.9.9\nhash_alg=3\nserver_url=http://user.local/\n");
    CClientSettings settings;
    EXPECT_EQ(settings.m_strRequestPolicyOid, "1.2.3.4.99");
    EXPECT_EQ(settings.m_nHashAlg, 2);
    EXPECT_EQ(settings.m_strServerUrl, "http://tsa.local/x");

    // The user file's "default" section has no part in loading...
    settings.SetIniPath(user);
    settings.Load();
    EXPECT_EQ(settings.m_strRequestPolicyOid, "1.2.3.4.99");
    EXPECT_EQ(settings.m_nHashAlg, 2);
    // ...but the defaults asked for later come from the file named now.
    EXPECT_EQ(settings.DefaultPolicyOid(), "9.9.9");
    EXPECT_EQ(settings.DefaultHashAlg(), 3);
    EXPECT_EQ(settings.DefaultServerUrl(), "http://user.local/");

    // Out-of-range and empty defaults give the built-in ones.
    settings.SetIniPath(WriteIni("[default]\nhash_alg=7\npolicy_oid=\n"));
    EXPECT_EQ(settings.DefaultHashAlg(), 0);
    EXPECT_EQ(settings.DefaultPolicyOid(), BuiltInPolicyOid());
    EXPECT_EQ(settings.DefaultServerUrl(), BuiltInServerUrl());
    settings.SetIniPath("");
    EXPECT_NE(settings.m_strIniFile, ""); // an empty path changes nothing
}

TEST_F(ClientSettingsTest, LoadReadsTheUserSectionWithItsClamps) {
    CClientSettings settings;
    settings.SetIniPath(WriteIni("[zarn]\n"
                                 "policy_oid=1.2.3\nserver_url=http://a/\nhash_alg=4\n"
                                 "auth_user=u\nauth_passwd=p w\nuser_agent=Agent/1\nsave_tsr=0\n"
                                 "proxy_server_user=pu\nproxy_server_passwd=pp\n"
                                 "proxy_server=proxy:3128\nproxy_type=3\n"));
    EXPECT_EQ(settings.Load(), 1);
    EXPECT_EQ(settings.GetRequestPolicyOid(), "1.2.3");
    EXPECT_EQ(settings.GetServerUrl(), "http://a/");
    EXPECT_EQ(settings.m_nHashAlg, 4);
    EXPECT_EQ(settings.GetAuthUser(), "u");
    EXPECT_EQ(settings.GetAuthPassword(), "p w");
    EXPECT_EQ(settings.GetUserAgent(), "Agent/1");
    EXPECT_EQ(settings.m_nSaveTsr, 0);
    EXPECT_EQ(settings.GetProxyUser(), "pu");
    EXPECT_EQ(settings.GetProxyPassword(), "pp");
    EXPECT_EQ(settings.GetProxyServer(), "proxy:3128");
    EXPECT_EQ(settings.m_nProxyType, 3);

    struct {
        const char* ini;
        int hash, saveTsr, proxyType;
    } const cases[] = {
        {"hash_alg=9\nproxy_type=4\n", 0, 1, 0},
        {"hash_alg=-1\nproxy_type=2\n", 0, 1, 2},
        {"hash_alg=abc\nproxy_type=-3\nsave_tsr=abc\n", 0, 0, -3},
        {"hash_alg=3x\nsave_tsr=\nproxy_type=99999999999\n", 3, 1, 0},
        {"save_tsr=7\nproxy_type=1\n", 0, 7, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ini);
        CClientSettings fresh;
        fresh.SetIniPath(WriteIni(std::string("[zarn]\n") + c.ini));
        fresh.Load();
        EXPECT_EQ(fresh.m_nHashAlg, c.hash);
        EXPECT_EQ(fresh.m_nSaveTsr, c.saveTsr);
        EXPECT_EQ(fresh.m_nProxyType, c.proxyType);
    }
}

TEST_F(ClientSettingsTest, ReadersLeaveTheValueAloneForMissingKeysAndCutLongValues) {
    CClientSettings settings;
    settings.SetIniPath(WriteIni("[zarn]\nempty=\nlong=" + std::string(300, 'a') +
                                 "\nhuge=99999999999\nsmall=-99999999999\n"));
    std::string text = "kept";
    EXPECT_EQ(settings.ReadString(kSectionUser, "missing", text), 0);
    EXPECT_EQ(settings.ReadString(kSectionUser, "empty", text), 0);
    EXPECT_EQ(text, "kept");
    EXPECT_EQ(settings.ReadString(kSectionUser, "long", text), 1);
    EXPECT_EQ(text, std::string(254, 'a'));
    int value = 5;
    EXPECT_EQ(settings.ReadInt(kSectionUser, "missing", value), 0);
    EXPECT_EQ(value, 5);
    EXPECT_EQ(settings.ReadInt(kSectionUser, "huge", value), 1);
    EXPECT_EQ(value, INT_MAX);
    EXPECT_EQ(settings.ReadInt(kSectionUser, "small", value), 1);
    EXPECT_EQ(value, INT_MIN);
}

TEST_F(ClientSettingsTest, SaveWritesAllElevenKeysInOrderAndLoadReadsThemBack) {
    CClientSettings settings;
    ASSERT_TRUE(UseUserIniFile(settings)); // creates the nested user folder
    EXPECT_EQ(settings.IniPath(), UserIniPath());
    settings.m_strRequestPolicyOid = "1.2.3.4";
    settings.m_strServerUrl = "https://tsa.example.net/cgi-bin/razitko.cgi";
    settings.m_nHashAlg = 2;
    settings.m_strAuthUser = "";
    settings.m_strAuthPassword = "";
    settings.m_nSaveTsr = 0;
    settings.m_strProxyServer = "proxy:8080";
    settings.m_nProxyType = 3;
    EXPECT_EQ(settings.Save(), 1);

    EXPECT_EQ(TempDir::Read(UserIniPath()),
              "[zarn]\n"
              "policy_oid=1.2.3.4\n"
              "server_url=https://tsa.example.net/cgi-bin/razitko.cgi\n"
              "hash_alg=2\n"
              "auth_user=\n"
              "auth_passwd=\n"
              "user_agent=Mozilla/4.0 (compatible; )\n"
              "save_tsr=0\n"
              "proxy_server_user=\n"
              "proxy_server_passwd=\n"
              "proxy_server=proxy:8080\n"
              "proxy_type=3\n");
    struct stat info {};
    ASSERT_EQ(stat(UserIniPath().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600U); // it holds passwords

    CClientSettings loaded;
    loaded.SetIniPath(UserIniPath());
    loaded.Load();
    EXPECT_EQ(loaded.m_strRequestPolicyOid, "1.2.3.4");
    EXPECT_EQ(loaded.m_nHashAlg, 2);
    EXPECT_EQ(loaded.m_nSaveTsr, 0);
    EXPECT_EQ(loaded.m_strProxyServer, "proxy:8080");
    EXPECT_EQ(loaded.m_nProxyType, 3);
}

TEST_F(ClientSettingsTest, TheProcessWideObjectIsMadeOnFirstUseAndCanBeDeleted) {
    DeleteClientSettings();
    CClientSettings& first = GetClientSettings();
    EXPECT_EQ(&GetClientSettings(), &first);
    first.m_strServerUrl = "changed";
    DeleteClientSettings();
    EXPECT_EQ(GetClientSettings().m_strServerUrl, BuiltInServerUrl());
    DeleteClientSettings();
}
