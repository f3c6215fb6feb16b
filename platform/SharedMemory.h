// A small named memory block shared by the processes of one user, guarded by a named lock.
//
// The block is a file in the user's runtime folder ($XDG_RUNTIME_DIR, else
// /tmp/mivoklient-<uid>), mapped into memory; the lock "mutex:" + name is an flock on a
// lock file beside it. The block lives exactly as long as a process holds it: the first
// process holds an exclusive flock on a holder file for its whole life, and a process that
// finds no live holder resets the block to zeros, so that a block left by a process that
// died (kill -9) never counts as held.
//
// The program's one block is the instance block: the running instance's id and the command
// line that a second start hands over to it. The notice that a hand-over is waiting is one
// word sent to a local socket named after the block, on which the running instance listens.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// The instance block: 1028 bytes.
inline constexpr char kInstanceBlockName[] = "ZARN_1ED43AC8";
inline constexpr uint32_t kInstanceBlockSize = 1028;
// Offset 0, 4 bytes: the running instance's process id; 0 until its main window is shown.
inline constexpr uint32_t kInstanceIdOffset = 0;
// Offset 4, 1024 bytes: the NUL-terminated command line of the latest second start.
inline constexpr uint32_t kCommandLineOffset = 4;
inline constexpr uint32_t kCommandLineCapacity = 1024;

// The notice words. A hand-over notice says that a command line waits in the block; the
// activation notice only asks the running instance to come to the front. Both raise it.
inline constexpr uint32_t WM_HANDOVER_CMDLINE = 34952; // 0x8888
inline constexpr uint32_t kNoticeActivate = 1;

// A named lock shared between processes: an flock on a file of that name in the runtime
// folder. Not recursive; one object per process and name.
class CNamedMutex {
public:
    // Opens (creating) the lock file; IsValid() tells whether that worked. With
    // `initialOwner` the lock is taken before the constructor returns.
    CNamedMutex(const std::string& path, bool initialOwner);
    ~CNamedMutex();
    CNamedMutex(const CNamedMutex&) = delete;
    CNamedMutex& operator=(const CNamedMutex&) = delete;

    bool IsValid() const { return m_nFd >= 0; }
    // Waits without a time limit.
    void Lock();
    void Unlock();

private:
    int m_nFd = -1;
};

class CSharedMemory {
public:
    CSharedMemory() = default;
    ~CSharedMemory();
    CSharedMemory(const CSharedMemory&) = delete;
    CSharedMemory& operator=(const CSharedMemory&) = delete;

    // Creates or opens the block `name` of `size` bytes, maps it and opens its lock.
    // m_bCreated tells whether no other live process held the block (this process holds it
    // from now on; the block was reset to zeros). False when a block is mapped already,
    // size is 0, the name is not a plain file name, or the block, its mapping or its lock
    // cannot be made; m_bCreated is set even then.
    [[nodiscard]] bool Create(uint32_t size, const std::string& name);
    // Copies `length` bytes from `offset` into `destination` under the lock. False (nothing
    // copied) without a mapping or lock, or when the range leaves the block.
    [[nodiscard]] bool Read(void* destination, uint32_t length, uint32_t offset);
    void Lock();
    void Unlock();
    // Unmaps the block, drops the lock object and the holder claim, resets every member.
    void Close();

    // The folder of the blocks, locks and notice sockets; made (0700) on first use. Empty
    // when no safe folder can be had.
    static std::string RuntimeDir();
    // The path of the local socket on which the holder of block `name` takes notices.
    static std::string NoticeSocketPath(const std::string& name);
    // Sends one notice word to the holder of block `name`. False when nobody listens.
    [[nodiscard]] static bool PostNotice(const std::string& name, uint32_t word);

    unsigned char* m_pData = nullptr;
    uint32_t m_nSize = 0;
    int m_hMapping = -1; // the block file, open while it is mapped
    std::string m_strName;
    std::unique_ptr<CNamedMutex> m_pMutex;
    bool m_bCreated = false;

private:
    int m_nHolderFd = -1; // exclusive flock while this process is the block's holder
};
