// tl import, tl status and tl update as the command line runs them: the real lists imported
// with the certificates the program ships, what status says about them as time passes and
// when the stored files were touched, and an update whose LOTL the program cannot verify.
#include "cli/TlCommands.h"
#include "cli/CliCommands.h"
#include "core/ClientSettings.h"
#include "core/TrustedListCache.h"
#include "tools/TestFileServer.h"
#include "tools/TlTestSigner.h"

#include "TlTestSupport.h"
#include "testlib/TempDir.h"

#include <gtest/gtest.h>

using namespace tl_test;

namespace {

std::size_t Count(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

TEST(TlCommands, TerritoryLists) {
    std::vector<std::string> codes;
    ASSERT_TRUE(ParseTerritoryList("CZ,sk", codes));
    EXPECT_EQ(codes, (std::vector<std::string>{"CZ", "SK"}));
    for (const char* bad : {"", "CZ,", ",CZ", "CZE", "C1", "CZ SK", "CZ;SK"})
        EXPECT_FALSE(ParseTerritoryList(bad, codes)) << bad;
}

class TlCommandsOnRealLists : public ::testing::Test {
protected:
    TempDir m_cache;
    TempDir m_sysconf;
    ScopedEnv m_tlDir{tl::kTlDirVariable, m_cache.Path().c_str()};
    ScopedEnv m_sysconfDir{"MIVOKLIENT_SYSCONF_DIR", m_sysconf.Path().c_str()};
    ScopedClock m_clock{DayOfTheRealLists()};
};

TEST_F(TlCommandsOnRealLists, ImportWithTheShippedPinsThenStatus) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const int imported = CmdTlImport({TlData(""), {}});
    const std::string out = testing::internal::GetCapturedStdout();
    const std::string err = testing::internal::GetCapturedStderr();
    ASSERT_EQ(imported, EXIT_OK) << out << err;
    EXPECT_NE(out.find("Seznam seznamů EU: aktualizován, pořadové číslo 332, vydán "
                       "27.09.2023 09:00 UTC."),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("Důvěryhodný seznam státu SK: aktualizován, pořadové číslo 110"),
              std::string::npos);
    EXPECT_NE(out.find("Aktualizováno: 6, beze změny: 0, nezdařilo se: 0, nenalezeno: 25."),
              std::string::npos)
        << out;
    EXPECT_TRUE(err.empty()) << err;

    m_clock.Set(Utc("2024-03-20T00:00:00Z"));
    testing::internal::CaptureStdout();
    EXPECT_EQ(CmdTlStatus({}), EXIT_OK);
    const std::string status = testing::internal::GetCapturedStdout();
    EXPECT_EQ(Count(status, "\n"), 8u) << status; // the folder, then the LOTL and six lists
    EXPECT_NE(status.find("Důvěryhodný seznam státu BE: pořadové číslo 66, vydán 19.09.2023 "
                          "00:00 UTC, příští vydání 18.03.2024 01:00 UTC, podpis ověřen "
                          "01.11.2023 12:00 UTC (certifikát „Belgian Trusted List Scheme "
                          "Operator“), zastaralý."),
              std::string::npos)
        << status;
    EXPECT_NE(status.find("Důvěryhodný seznam státu CZ: pořadové číslo 141"), std::string::npos);
    EXPECT_EQ(Count(status, "zastaralý"), 3u) << status; // BE, PL and SK
    EXPECT_EQ(Count(status, ", platný."), 4u) << status;
}

TEST_F(TlCommandsOnRealLists, StatusTellsWhenTheStoredFilesWereTouched) {
    testing::internal::CaptureStdout();
    ASSERT_EQ(CmdTlImport({TlData("tl"), {}}), EXIT_FAILED); // no LOTL in that folder
    ASSERT_EQ(CmdTlImport({TlData(""), {"SK", "CZ"}}), EXIT_OK);
    (void)testing::internal::GetCapturedStdout();
    const tl::ListCache cache(m_cache.Path());
    EXPECT_EQ(cache.Territories(), (std::vector<std::string>{"CZ", "EU", "SK"}));
    std::string xml;
    ASSERT_TRUE(cache.ReadXml("CZ", xml));
    xml[xml.size() / 2] ^= 1;
    m_cache.Write("CZ.xml", xml);
    m_cache.Write("SK.idx", "broken");
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_EQ(CmdTlStatus({}), EXIT_FAILED);
    const std::string out = testing::internal::GetCapturedStdout();
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(out.find("uložený soubor se od ověření změnil"), std::string::npos) << out;
    EXPECT_NE(err.find("SK: uložený index nelze přečíst"), std::string::npos) << err;
}

TEST_F(TlCommandsOnRealLists, StatusOfNothingStored) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(CmdTlStatus({}), EXIT_OK);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("nejsou uloženy žádné"),
              std::string::npos);
}

TEST_F(TlCommandsOnRealLists, UpdateRefusesALotlTheShippedPinsDoNotCover) {
    mivo::test::TestFileServer server;
    mivo::test::TlListSpec spec;
    spec.tslType = mivo::test::kTlTestLotlType;
    spec.territory = "EU";
    spec.sequence = 999;
    server.Serve("/eu-lotl.xml", mivo::test::SignTlXml(mivo::test::BuildTlXml(spec),
                                                       mivo::test::MakeTlSigningKey("Impostor")));
    const std::string ini = m_sysconf.Write("mivoklient.ini", "[zarn]\nproxy_type=1\n");
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const int rc = CmdTlUpdate({server.Url("/eu-lotl.xml"), {}, ini});
    const std::string out = testing::internal::GetCapturedStdout();
    const std::string err = testing::internal::GetCapturedStderr();
    DeleteClientSettings();
    EXPECT_EQ(rc, EXIT_FAILED);
    EXPECT_NE(err.find("Seznam seznamů EU z " + server.Url("/eu-lotl.xml") + " byl odmítnut"),
              std::string::npos)
        << err;
    EXPECT_TRUE(tl::ListCache(m_cache.Path()).Territories().empty());
    testing::internal::CaptureStderr();
    EXPECT_EQ(CmdTlUpdate({server.Url("/missing.xml"), {}, ini}), EXIT_FAILED);
    DeleteClientSettings();
    EXPECT_NE(testing::internal::GetCapturedStderr().find("stavem 404"), std::string::npos);
}

} // namespace
