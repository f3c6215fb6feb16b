#include "platform/SharedMemory.h"

#include "testlib/TempDir.h"

#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

class SharedMemoryTest : public ::testing::Test {
protected:
    TempDir runtime;
    ScopedEnv env{"XDG_RUNTIME_DIR", runtime.Path().c_str()};
};

// A child process that runs `body` and then waits to be killed; the parent learns through
// a pipe that the body is done.
class Child {
public:
    template <typename Body> explicit Child(Body body) {
        int fds[2];
        if (::pipe(fds) != 0)
            throw std::runtime_error("pipe");
        m_pid = ::fork();
        if (m_pid == 0) {
            ::close(fds[0]);
            const char ok = body() ? '1' : '0';
            (void)!::write(fds[1], &ok, 1);
            for (;;)
                ::pause();
        }
        ::close(fds[1]);
        m_nReadFd = fds[0];
    }
    ~Child() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        ::close(m_nReadFd);
    }
    // Waits until the body ran; answers its result.
    bool WaitReady() {
        char ok = 0;
        return ::read(m_nReadFd, &ok, 1) == 1 && ok == '1';
    }
    void Kill9() {
        ::kill(m_pid, SIGKILL);
        int status = 0;
        ::waitpid(m_pid, &status, 0);
        m_pid = -1;
        EXPECT_TRUE(WIFSIGNALED(status));
    }
    pid_t Pid() const { return m_pid; }

private:
    pid_t m_pid = -1;
    int m_nReadFd = -1;
};

uint32_t ReadId(CSharedMemory& block) {
    uint32_t id = 0xFFFFFFFF;
    EXPECT_TRUE(block.Read(&id, 4, kInstanceIdOffset));
    return id;
}

std::string ReadCommandLine(CSharedMemory& block) {
    std::array<char, kCommandLineCapacity> text{};
    EXPECT_TRUE(block.Read(text.data(), kCommandLineCapacity, kCommandLineOffset));
    return std::string(text.data(), strnlen(text.data(), text.size()));
}

void WriteInstance(CSharedMemory& block, uint32_t id, const std::string& line) {
    block.Lock();
    std::memcpy(block.m_pData + kInstanceIdOffset, &id, 4);
    std::memcpy(block.m_pData + kCommandLineOffset, line.c_str(), line.size() + 1);
    block.Unlock();
}

TEST_F(SharedMemoryTest, FirstCreateHoldsAZeroedBlockOfTheInstanceLayout) {
    CSharedMemory block;
    ASSERT_TRUE(block.Create(kInstanceBlockSize, kInstanceBlockName));
    EXPECT_TRUE(block.m_bCreated);
    EXPECT_EQ(block.m_nSize, 1028u);
    EXPECT_EQ(block.m_strName, "ZARN_1ED43AC8");
    EXPECT_NE(block.m_pData, nullptr);
    EXPECT_GE(block.m_hMapping, 0);
    ASSERT_NE(block.m_pMutex, nullptr);

    std::array<unsigned char, kInstanceBlockSize> all{};
    all.fill(0xAA);
    ASSERT_TRUE(block.Read(all.data(), kInstanceBlockSize, 0));
    for (unsigned char byte : all)
        ASSERT_EQ(byte, 0);

    // The block, its lock and the notice socket are named after the block, privately.
    struct stat st {};
    ASSERT_EQ(::stat(runtime.File("ZARN_1ED43AC8").c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 1028);
    EXPECT_EQ(st.st_mode & 077, 0u);
    EXPECT_EQ(::stat(runtime.File("mutex:ZARN_1ED43AC8").c_str(), &st), 0);
    EXPECT_EQ(CSharedMemory::NoticeSocketPath(kInstanceBlockName),
              runtime.File("ZARN_1ED43AC8.notice"));
}

TEST_F(SharedMemoryTest, CreateAndReadRefuseWhatTheyCannotDo) {
    CSharedMemory block;
    char byte = 0;
    EXPECT_FALSE(block.Read(&byte, 1, 0)); // nothing mapped
    EXPECT_FALSE(block.Create(0, "X"));
    EXPECT_FALSE(block.Create(16, "../escape"));
    ASSERT_TRUE(block.Create(16, "X"));
    EXPECT_FALSE(block.Create(16, "Y")); // already mapped

    std::array<char, 17> buffer{};
    EXPECT_TRUE(block.Read(buffer.data(), 16, 0));
    EXPECT_TRUE(block.Read(buffer.data(), 0, 16));
    EXPECT_FALSE(block.Read(buffer.data(), 17, 0));
    EXPECT_FALSE(block.Read(buffer.data(), 1, 16));
    EXPECT_FALSE(block.Read(buffer.data(), 2, 0xFFFFFFFF)); // offset + length wraps

    block.Close();
    EXPECT_EQ(block.m_pData, nullptr);
    EXPECT_EQ(block.m_nSize, 0u);
    EXPECT_EQ(block.m_hMapping, -1);
    EXPECT_TRUE(block.m_strName.empty());
    EXPECT_EQ(block.m_pMutex, nullptr);
    EXPECT_FALSE(block.m_bCreated);
    EXPECT_FALSE(block.Read(buffer.data(), 1, 0));
}

TEST_F(SharedMemoryTest, LaterProcessOpensTheLiveBlockAndSharesItsBytes) {
    Child first([] {
        static CSharedMemory block; // lives until the child is killed
        if (!block.Create(kInstanceBlockSize, kInstanceBlockName) || !block.m_bCreated)
            return false;
        WriteInstance(block, 4242, "/usr/bin/mivoklient \"/a b/c.tsr\"");
        return true;
    });
    ASSERT_TRUE(first.WaitReady());

    CSharedMemory second;
    ASSERT_TRUE(second.Create(kInstanceBlockSize, kInstanceBlockName));
    EXPECT_FALSE(second.m_bCreated);
    EXPECT_EQ(ReadId(second), 4242u);
    EXPECT_EQ(ReadCommandLine(second), "/usr/bin/mivoklient \"/a b/c.tsr\"");

    // A third object in this process is no holder either: the claim is the child's.
    CSharedMemory third;
    ASSERT_TRUE(third.Create(kInstanceBlockSize, kInstanceBlockName));
    EXPECT_FALSE(third.m_bCreated);
}

TEST_F(SharedMemoryTest, BlockOfAKilledHolderIsStaleAndStartsFromZeros) {
    Child crashed([] {
        static CSharedMemory block;
        if (!block.Create(kInstanceBlockSize, kInstanceBlockName))
            return false;
        WriteInstance(block, static_cast<uint32_t>(::getpid()), "mivoklient x.tsr");
        return block.m_bCreated;
    });
    ASSERT_TRUE(crashed.WaitReady());
    {
        CSharedMemory probe; // while the holder lives, the block is held
        ASSERT_TRUE(probe.Create(kInstanceBlockSize, kInstanceBlockName));
        EXPECT_FALSE(probe.m_bCreated);
        EXPECT_EQ(ReadId(probe), static_cast<uint32_t>(crashed.Pid()));
    }
    crashed.Kill9();

    CSharedMemory next;
    ASSERT_TRUE(next.Create(kInstanceBlockSize, kInstanceBlockName));
    EXPECT_TRUE(next.m_bCreated);
    EXPECT_EQ(ReadId(next), 0u);
    EXPECT_EQ(ReadCommandLine(next), "");
}

TEST_F(SharedMemoryTest, ClosingGivesUpTheClaimInThisProcessToo) {
    CSharedMemory first;
    ASSERT_TRUE(first.Create(kInstanceBlockSize, kInstanceBlockName));
    WriteInstance(first, 7, "old");
    first.Close();

    CSharedMemory second;
    ASSERT_TRUE(second.Create(kInstanceBlockSize, kInstanceBlockName));
    EXPECT_TRUE(second.m_bCreated);
    EXPECT_EQ(ReadId(second), 0u);
}

TEST_F(SharedMemoryTest, ReadWaitsForTheLockOfAnotherProcess) {
    CSharedMemory mine;
    ASSERT_TRUE(mine.Create(64, "LOCKED2"));
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        CSharedMemory block;
        if (!block.Create(64, "LOCKED2"))
            ::_exit(1);
        block.Lock();
        (void)!::write(fds[1], "L", 1); // the lock is held now
        ::usleep(300 * 1000);
        block.m_pData[0] = 'W';
        block.Unlock();
        ::_exit(0);
    }
    char signal = 0;
    ASSERT_EQ(::read(fds[0], &signal, 1), 1);
    char byte = 0;
    EXPECT_TRUE(mine.Read(&byte, 1, 0)); // waits for the writer's Unlock
    EXPECT_EQ(byte, 'W');
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ::close(fds[0]);
    ::close(fds[1]);
}

TEST_F(SharedMemoryTest, NoticeReachesTheListenerAndFailsWithoutOne) {
    EXPECT_FALSE(CSharedMemory::PostNotice(kInstanceBlockName, WM_HANDOVER_CMDLINE));

    const std::string path = CSharedMemory::NoticeSocketPath(kInstanceBlockName);
    const int server = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(server, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
    ASSERT_EQ(::bind(server, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    ASSERT_EQ(::listen(server, 4), 0);

    ASSERT_TRUE(CSharedMemory::PostNotice(kInstanceBlockName, WM_HANDOVER_CMDLINE));
    const int connection = ::accept(server, nullptr, nullptr);
    ASSERT_GE(connection, 0);
    uint32_t word = 0;
    EXPECT_EQ(::recv(connection, &word, sizeof(word), MSG_WAITALL), 4);
    EXPECT_EQ(word, 0x8888u);
    ::close(connection);
    ::close(server);
}

TEST(SharedMemoryRuntimeDir, WithoutXdgRuntimeDirAPrivateFolderInTmpIsUsed) {
    TempDir tmp;
    ScopedEnv xdg("XDG_RUNTIME_DIR", nullptr);
    const std::string dir = CSharedMemory::RuntimeDir();
    EXPECT_EQ(dir, "/tmp/mivoklient-" + std::to_string(::geteuid()));
    struct stat st {};
    ASSERT_EQ(::lstat(dir.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 077, 0u);

    // A relative XDG_RUNTIME_DIR is not trusted either.
    ScopedEnv relative("XDG_RUNTIME_DIR", "run/user");
    EXPECT_EQ(CSharedMemory::RuntimeDir(), dir);
}

} // namespace
