// Replacing a whole file so that, whenever the process or the machine stops, its path names
// either the complete old file or the complete new one.
//
// The new content goes to a temporary file in the target's folder: where the file system
// has them, an unnamed one (it vanishes by itself when the writer dies) that gets a name
// only for the moment between linking it in and renaming it over the target; elsewhere a
// named one, created exclusively. The content is flushed to disk before the rename, and the
// folder after it. Every writer holds a lock on its temporary file. A temporary file of ours
// that a killed writer left behind (a name starting with ".mivoklient-", or one that earlier
// versions gave, owned by us, and nobody holding its lock) is removed by the next write into
// that folder: a complete unnamed one that was killed between its link and its rename at
// once, any other once it has been unchanged for an hour.
#pragma once

#include <cstddef>
#include <span>
#include <string>

enum class FileMode {
    // rw-rw-rw- less what the user's umask takes away: files the user makes (stamps,
    // requests, replies). A file that is replaced gets this mode afresh.
    Document,
    // rw------- for a new file, since it may hold passwords; a file that is replaced keeps
    // its mode and, where permitted, its owner (the user may have chosen them).
    Settings,
};

// The step at which a write failed.
enum class AtomicWriteStep {
    None,
    Create,  // the temporary file could not be made (or given its mode or name)
    Write,   // writing the content failed; see AtomicWriteFailure::written
    Flush,   // the content could not be flushed to disk, or the file not closed
    Replace, // the temporary file could not take the target's name
};

struct AtomicWriteFailure {
    AtomicWriteStep step = AtomicWriteStep::None;
    // Bytes that went into the temporary file before a write failed (Write only): more
    // than zero when the disk or a size limit stopped the write part-way.
    std::size_t written = 0;
};

// How the temporary file is made. Named is what a file system without unnamed temporary
// files gets; tests use it to reach that path on any file system.
enum class TemporaryKind { UnnamedWherePossible, Named };

// Replaces (or creates) the file at `path` with `data`. A symbolic link at `path` is
// replaced by the file, not followed. On failure nothing at `path` has changed, no
// temporary file remains, the thread's last error holds the errno of the failing call and
// `failure`, when given, tells the step.
[[nodiscard]] bool WriteFileAtomically(const std::string& path, std::span<const unsigned char> data,
                                       FileMode mode, AtomicWriteFailure* failure = nullptr,
                                       TemporaryKind kind = TemporaryKind::UnnamedWherePossible);
