#include "platform/Profile.h"
#include "platform/LastError.h"

#include "WriterProcess.h"
#include "testlib/TempDir.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <random>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// The settings' way of reading: a 255-byte limit, empty default.
std::string Read(const std::string& file, const char* section, const char* key,
                 std::size_t* length = nullptr) {
    std::string value = "untouched";
    const std::size_t n = GetPrivateProfileString(section, key, "", value, 255, file);
    if (length != nullptr) {
        *length = n;
    }
    EXPECT_EQ(n, value.size());
    return value;
}

mode_t FileMode(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(stat(path.c_str(), &st), 0);
    return st.st_mode & 07777;
}

class ProfileTest : public ::testing::Test {
protected:
    TempDir dir;
    std::string ini = dir.File("mivoklient.ini");
};

TEST_F(ProfileTest, LookupIsCaseInsensitiveTrimmedAndTakesTheFirstMatch) {
    dir.Write("mivoklient.ini", "; server_url=commented out\n"
                                "  [ Zarn ]  \n"
                                "  Server_URL =  https://tsa.example/x  \n"
                                "policy_oid=1.2.3\n"
                                "server_url=second\n"
                                "no equals sign here\n"
                                "[zarn]\n"
                                "hash_alg=4\n"
                                "[other]\n"
                                "policy_oid=9.9\n");
    EXPECT_EQ(Read(ini, "zarn", "server_url"), "https://tsa.example/x");
    EXPECT_EQ(Read(ini, "ZARN", "POLICY_OID"), "1.2.3");
    EXPECT_EQ(Read(ini, " zarn ", " policy_oid "), "1.2.3");
    EXPECT_EQ(Read(ini, "other", "policy_oid"), "9.9");
    // Only the first section of a name counts.
    EXPECT_EQ(Read(ini, "zarn", "hash_alg"), "");
    EXPECT_EQ(Read(ini, "zarn", "; server_url"), "");
    EXPECT_EQ(Read(ini, "zarn", "no equals sign here"), "");
}

TEST_F(ProfileTest, EmptyValueAndMissingKeyBothReadAsLengthZero) {
    dir.Write("mivoklient.ini", "[zarn]\nempty=\nblank=   \n");
    std::size_t length = 99;
    EXPECT_EQ(Read(ini, "zarn", "empty", &length), "");
    EXPECT_EQ(length, 0U);
    EXPECT_EQ(Read(ini, "zarn", "blank", &length), "");
    EXPECT_EQ(length, 0U);
    EXPECT_EQ(Read(ini, "zarn", "missing", &length), "");
    EXPECT_EQ(length, 0U);

    // A missing key gives the default, without its trailing blanks; an empty one does not.
    std::string value;
    EXPECT_EQ(GetPrivateProfileString("zarn", "missing", "dflt  ", value, 255, ini), 4U);
    EXPECT_EQ(value, "dflt");
    EXPECT_EQ(GetPrivateProfileString("zarn", "empty", "dflt", value, 255, ini), 0U);
    EXPECT_EQ(GetPrivateProfileString("nosection", "k", "dflt", value, 255, ini), 4U);
    EXPECT_EQ(GetPrivateProfileString("zarn", "k", "dflt", value, 255, dir.File("none.ini")), 4U);
    EXPECT_EQ(value, "dflt");
    // A folder where the file should be reads as a missing file.
    EXPECT_EQ(GetPrivateProfileString("zarn", "k", "dflt", value, 255, dir.Path()), 4U);
}

TEST_F(ProfileTest, MatchingQuotesAroundAValueAreDropped) {
    dir.Write("mivoklient.ini", "[s]\n"
                                "double=\"  spaced  \"\n"
                                "single='x'\n"
                                "mixed=\"x'\n"
                                "open=\"x\n"
                                "inner=a \"b\" c\n"
                                "lone=\"\n"
                                "pair=\"\"\n");
    EXPECT_EQ(Read(ini, "s", "double"), "  spaced  ");
    EXPECT_EQ(Read(ini, "s", "single"), "x");
    EXPECT_EQ(Read(ini, "s", "mixed"), "\"x'");
    EXPECT_EQ(Read(ini, "s", "open"), "\"x");
    EXPECT_EQ(Read(ini, "s", "inner"), "a \"b\" c");
    EXPECT_EQ(Read(ini, "s", "lone"), "\"");
    EXPECT_EQ(Read(ini, "s", "pair"), "");
}

TEST_F(ProfileTest, ValueIsCutToTheCallersLimit) {
    const std::string longValue(300, 'x');
    // 253 ASCII bytes and a two-byte letter: the letter does not fit in 254 bytes.
    const std::string czech = std::string(253, 'a') + "č";
    dir.Write("mivoklient.ini", "[s]\nlong=" + longValue + "\nczech=" + czech + "\nnul=ab" +
                                    std::string(1, '\0') + "cd\n");
    std::string value;
    EXPECT_EQ(GetPrivateProfileString("s", "long", "", value, 255, ini), 254U);
    EXPECT_EQ(value, longValue.substr(0, 254));
    EXPECT_EQ(GetPrivateProfileString("s", "long", "", value, 1, ini), 0U);
    EXPECT_EQ(value, "");
    EXPECT_EQ(GetPrivateProfileString("s", "long", "", value, 0, ini), 0U);
    EXPECT_EQ(GetPrivateProfileString("s", "czech", "", value, 255, ini), 253U);
    EXPECT_EQ(GetPrivateProfileString("s", "czech", "", value, 256, ini), 255U);
    EXPECT_EQ(value, czech);
    EXPECT_EQ(GetPrivateProfileString("s", "nul", "", value, 255, ini), 2U);
    EXPECT_EQ(value, "ab");
}

TEST_F(ProfileTest, CrLfLineEndsAndByteOrderMarkAreReadAndKept) {
    const std::string original = "\xEF\xBB\xBF[zarn]\r\nserver_url=https://a\r\n\r\n[x]\r\ny=1\r\n";
    dir.Write("mivoklient.ini", original);
    EXPECT_EQ(Read(ini, "zarn", "server_url"), "https://a");
    EXPECT_EQ(Read(ini, "x", "y"), "1");

    ASSERT_TRUE(WritePrivateProfileString("zarn", "policy_oid", "1.2", ini));
    EXPECT_EQ(TempDir::Read(ini), "\xEF\xBB\xBF[zarn]\r\nserver_url=https://a\r\npolicy_oid=1.2\r\n"
                                  "\r\n[x]\r\ny=1\r\n");
    ASSERT_TRUE(WritePrivateProfileString("zarn", "server_url", "https://b", ini));
    EXPECT_EQ(TempDir::Read(ini), "\xEF\xBB\xBF[zarn]\r\nserver_url=https://b\r\npolicy_oid=1.2\r\n"
                                  "\r\n[x]\r\ny=1\r\n");
    ASSERT_TRUE(WritePrivateProfileString("zarn", nullptr, nullptr, ini));
    EXPECT_EQ(TempDir::Read(ini), "\xEF\xBB\xBF[x]\r\ny=1\r\n");
}

TEST_F(ProfileTest, WriteChangesOnlyItsOwnLine) {
    const std::string head = "; settings of the client\n"
                             "\n"
                             "[zarn]\n"
                             "  ; keep me\n"
                             "POLICY_OID = 1.2.3\t\n"
                             "garbage line without equals\n"
                             "\n"
                             "[time_stamped_files]\n"
                             "count=2\n"
                             "weird \x01\xFF bytes\n";
    dir.Write("mivoklient.ini", head);

    // Replacing keeps the key's spelling and every other byte.
    ASSERT_TRUE(WritePrivateProfileString("zarn", "policy_oid", " 4.5 ", ini));
    std::string expected = head;
    expected.replace(expected.find("POLICY_OID = 1.2.3\t"), 19, "POLICY_OID= 4.5 ");
    EXPECT_EQ(TempDir::Read(ini), expected);
    EXPECT_EQ(Read(ini, "zarn", "policy_oid"), "4.5");

    // A new key goes after the section's last non-empty line.
    ASSERT_TRUE(WritePrivateProfileString("zarn", "hash_alg", "2", ini));
    expected.insert(expected.find("\n\n[time_stamped_files]") + 1, "hash_alg=2\n");
    EXPECT_EQ(TempDir::Read(ini), expected);

    // A new section goes at the end.
    ASSERT_TRUE(WritePrivateProfileString("default", "server_url", "", ini));
    expected += "[default]\nserver_url=\n";
    EXPECT_EQ(TempDir::Read(ini), expected);
    EXPECT_EQ(Read(ini, "default", "server_url"), "");
}

TEST_F(ProfileTest, WriteAddsALineBreakWhereTheFileEndsWithoutOne) {
    dir.Write("mivoklient.ini", "[zarn]\na=1");
    ASSERT_TRUE(WritePrivateProfileString("zarn", "b", "2", ini));
    EXPECT_EQ(TempDir::Read(ini), "[zarn]\na=1\nb=2\n");
    dir.Write("mivoklient.ini", "[zarn]");
    ASSERT_TRUE(WritePrivateProfileString("other", "c", "3", ini));
    EXPECT_EQ(TempDir::Read(ini), "[zarn]\n[other]\nc=3\n");
}

TEST_F(ProfileTest, NullValueDeletesTheKeyAndNullKeyTheSection) {
    dir.Write("mivoklient.ini", "[a]\nx=1\nX=2\ny=3\n[b]\nz=4\n[A]\nw=5\n");
    ASSERT_TRUE(WritePrivateProfileString("a", "x", nullptr, ini));
    EXPECT_EQ(TempDir::Read(ini), "[a]\nX=2\ny=3\n[b]\nz=4\n[A]\nw=5\n");
    // The next key of that name becomes visible, as a read would find it.
    EXPECT_EQ(Read(ini, "a", "x"), "2");

    ASSERT_TRUE(WritePrivateProfileString("a", nullptr, nullptr, ini));
    EXPECT_EQ(TempDir::Read(ini), "[b]\nz=4\n");

    // Deleting what is not there changes nothing and creates no file.
    ASSERT_TRUE(WritePrivateProfileString("b", "nothing", nullptr, ini));
    EXPECT_EQ(TempDir::Read(ini), "[b]\nz=4\n");
    const std::string absent = dir.File("absent.ini");
    EXPECT_TRUE(WritePrivateProfileString("b", "z", nullptr, absent));
    EXPECT_TRUE(WritePrivateProfileString("b", nullptr, nullptr, absent));
    EXPECT_FALSE(std::filesystem::exists(absent));
}

TEST_F(ProfileTest, NewFileGetsMode0600AndAnExistingFileKeepsItsMode) {
    // Even where the umask would allow more.
    const pid_t child = fork();
    if (child == 0) {
        umask(0);
        _exit(WritePrivateProfileString("zarn", "auth_passwd", "secret", ini) ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(FileMode(ini), 0600U);
    EXPECT_EQ(TempDir::Read(ini), "[zarn]\nauth_passwd=secret\n");

    ASSERT_EQ(chmod(ini.c_str(), 0640), 0);
    ASSERT_TRUE(WritePrivateProfileString("zarn", "auth_passwd", "other", ini));
    EXPECT_EQ(FileMode(ini), 0640U);
    EXPECT_EQ(Read(ini, "zarn", "auth_passwd"), "other");

    // No temporary file is left behind; the writers' lock file stays.
    std::size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
        files += entry.path().filename() != "mivoklient.ini.lock" ? 1 : 0;
    }
    EXPECT_EQ(files, 1U);
}

TEST_F(ProfileTest, ASymbolicLinkIsFollowed) {
    const std::string target = dir.Write("real.ini", "[zarn]\na=1\n");
    ASSERT_EQ(symlink(target.c_str(), ini.c_str()), 0);
    ASSERT_TRUE(WritePrivateProfileString("zarn", "a", "2", ini));
    EXPECT_TRUE(std::filesystem::is_symlink(ini));
    EXPECT_EQ(TempDir::Read(target), "[zarn]\na=2\n");
}

TEST_F(ProfileTest, RefusesWhatCouldNotBeReadBackAndReportsFailures) {
    dir.Write("mivoklient.ini", "[zarn]\na=1\n");
    for (auto [section, key, value] :
         {std::tuple{"zarn", "a", "two\nlines"}, std::tuple{"zarn", "a", "cr\r"},
          std::tuple{"za]rn", "a", "x"}, std::tuple{"zarn", "a=b", "x"},
          std::tuple{"zarn", "[a", "x"}, std::tuple{"zarn", ";a", "x"},
          std::tuple{"zarn", "  ", "x"}, std::tuple{"", "a", "x"}}) {
        SetLastError(0);
        EXPECT_FALSE(WritePrivateProfileString(section, key, value, ini)) << section << key;
        EXPECT_EQ(GetLastError(), static_cast<uint32_t>(EINVAL));
    }
    EXPECT_FALSE(WritePrivateProfileString(nullptr, "a", "x", ini));
    EXPECT_EQ(TempDir::Read(ini), "[zarn]\na=1\n");

    EXPECT_FALSE(WritePrivateProfileString("zarn", "a", "x", dir.File("no/such/dir.ini")));
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ENOENT));
    EXPECT_FALSE(WritePrivateProfileString("zarn", "a", "x", dir.Path()));
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(EISDIR));
}

TEST_F(ProfileTest, ABareFileNameLivesInTheSystemFolder) {
    const ScopedEnv sysconf("MIVOKLIENT_SYSCONF_DIR", dir.Path().c_str());
    EXPECT_EQ(ResolveProfilePath("mivoklient.ini"), ini);
    EXPECT_EQ(ResolveProfilePath("./mivoklient.ini"), "./mivoklient.ini");
    dir.Write("mivoklient.ini", "[default]\nhash_alg=2\n");
    EXPECT_EQ(Read("mivoklient.ini", "default", "hash_alg"), "2");
    ASSERT_TRUE(WritePrivateProfileString("default", "hash_alg", "4", "mivoklient.ini"));
    EXPECT_EQ(TempDir::Read(ini), "[default]\nhash_alg=4\n");
}

TEST_F(ProfileTest, SurvivesGarbageAndStaysWritable) {
    std::mt19937 random(12345);
    const std::string longLine(1 << 18, 'k');
    const std::string alphabet("[]=;\n\r \t\0abcZ\xEF\xBB\xBF\xC3", 17);
    for (int round = 0; round < 200; ++round) {
        std::string text;
        const int length = static_cast<int>(random() % 400);
        for (int i = 0; i < length; ++i) {
            text += random() % 4 == 0 ? static_cast<char>(random())
                                      : alphabet[random() % alphabet.size()];
        }
        if (round % 100 == 0) {
            text += longLine;
        }
        dir.Write("mivoklient.ini", text);
        std::string value;
        [[maybe_unused]] const std::size_t n =
            GetPrivateProfileString("a", "b", "", value, 255, ini);
        ASSERT_TRUE(WritePrivateProfileString("Zarn", "server_url", "https://x", ini));
        EXPECT_EQ(Read(ini, "zarn", "server_url"), "https://x") << "round " << round;
    }
}

// The temporary files of writes in progress (or of killed writers) in the folder.
std::vector<std::filesystem::path> TemporaryFiles(const TempDir& dir) {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
        if (entry.path().filename() != "mivoklient.ini") {
            files.push_back(entry.path());
        }
    }
    return files;
}

// A writer killed at any moment must leave the complete old file or the complete new one.
// Most kills are aimed into the dangerous stretch: the writer is stopped at random moments
// until it is caught in the middle of a write (a file of the folder open, or the profile
// itself not whole), and killed there; every fifth round kills at a random moment instead.
TEST_F(ProfileTest, KillNineDuringWritesNeverLeavesAPartialFile) {
    const std::string valueA(100000, 'A');
    const std::string valueB(80000, 'B');
    const std::string prefix = "; list and settings\n[zarn]\nserver_url=https://tsa\n";
    const std::string suffix = "[time_stamped_files]\ncount=0\n";
    const std::string contentA = prefix + "payload=" + valueA + "\n" + suffix;
    const std::string contentB = prefix + "payload=" + valueB + "\n" + suffix;
    dir.Write("mivoklient.ini", contentA);
    ASSERT_EQ(chmod(ini.c_str(), 0644), 0);

    std::mt19937 random(4242);
    const int rounds = 80;
    int killedMidWrite = 0;
    for (int round = 0; round < rounds; ++round) {
        // The writer reports each finished write on a pipe, so that the kill falls into the
        // writing loop and not into the start of the process.
        int done[2];
        ASSERT_EQ(pipe(done), 0);
        const pid_t child = fork();
        ASSERT_NE(child, -1);
        if (child == 0) {
            close(done[0]);
            for (bool b = true;; b = !b) {
                if (!WritePrivateProfileString("zarn", "payload",
                                               b ? valueB.c_str() : valueA.c_str(), ini)) {
                    _exit(3);
                }
                [[maybe_unused]] const ssize_t n = write(done[1], "w", 1);
            }
        }
        close(done[1]);
        char signal = 0;
        ASSERT_EQ(read(done[0], &signal, 1), 1) << "the writer did not start";

        const bool aimed = round % 5 != 0;
        for (int attempt = 0;; ++attempt) {
            usleep(static_cast<useconds_t>(random() % (aimed ? 1500 : 5000)));
            if (!aimed || attempt == 500) {
                break;
            }
            ASSERT_EQ(kill(child, SIGSTOP), 0);
            int status = 0;
            ASSERT_EQ(waitpid(child, &status, WUNTRACED), child);
            ASSERT_TRUE(WIFSTOPPED(status));
            const std::string now = TempDir::Read(ini);
            if (HoldsFileIn(child, dir.Path()) || (now != contentA && now != contentB)) {
                ++killedMidWrite;
                break;
            }
            ASSERT_EQ(kill(child, SIGCONT), 0);
        }
        ASSERT_EQ(kill(child, SIGKILL), 0);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        close(done[0]);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the writer failed on its own, status " << status;

        const std::string content = TempDir::Read(ini);
        ASSERT_TRUE(content == contentA || content == contentB)
            << "round " << round << ": a file of " << content.size() << " bytes";
        const std::string payload = Read(ini, "zarn", "payload").substr(0, 1);
        EXPECT_TRUE(payload == "A" || payload == "B");
        EXPECT_EQ(FileMode(ini), 0644U); // never the temporary file's own mode
        for (const std::filesystem::path& leftover : TemporaryFiles(dir)) {
            std::filesystem::remove(leftover);
        }
    }
    RecordProperty("killed_mid_write", killedMidWrite);
    EXPECT_GE(killedMidWrite, rounds * 4 / 5 * 9 / 10) << "too few kills hit a write";
}

TEST(ProfileTextTest, EntriesAreWhatLookupsReach) {
    const ProfileText profile("k0=before any section\n[a]\nx=1\nX=2\n[b]\ny=3\n[A]\nz=4\n");
    const std::vector<ProfileText::Entry> entries = profile.Entries();
    ASSERT_EQ(entries.size(), 2U);
    EXPECT_EQ(entries[0].section + entries[0].key + entries[0].value, "ax1");
    EXPECT_EQ(entries[1].section + entries[1].key + entries[1].value, "by3");
}

} // namespace
