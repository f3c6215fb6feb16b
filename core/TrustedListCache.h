// The folder of verified trusted lists: per territory the XML exactly as received
// (`CZ.xml`, the EU list of the lists as `EU.xml`) and its index (`CZ.idx`). Only lists
// that passed their signature check are stored. Each file is written to a temporary name,
// flushed and renamed, the XML first and the index (what the verdict reads) last, so an
// interrupted update leaves every territory's index either as it was or new; a crash
// between the two renames leaves the old index beside the new XML, which `tl status`
// reports as a stored file that changed since it was verified.
#pragma once

#include "core/TrustedListIndex.h"

#include <string>
#include <string_view>
#include <vector>

namespace tl {

// Moves the folder (tests, a shared cache); replaces the XDG location.
inline constexpr char kTlDirVariable[] = "MIVOKLIENT_TL_DIR";

// $MIVOKLIENT_TL_DIR, else $XDG_CACHE_HOME/mivoklient/tl (an absolute XDG_CACHE_HOME only),
// else $HOME/.cache/mivoklient/tl.
std::string TrustedListDir();

// Two capital letters: the only territory names that become file names here.
bool IsTerritoryCode(std::string_view text);

// Writes `bytes` to `path` through the program's atomic writer (platform/AtomicFile.h), so
// that the path holds either its old content or all of the new. False with an English
// reason.
[[nodiscard]] bool WriteFileAtomically(const std::string& path, std::string_view bytes,
                                       std::string& error);

class ListCache {
public:
    explicit ListCache(std::string dir) : m_dir(std::move(dir)) {}

    const std::string& Dir() const { return m_dir; }
    std::string XmlPath(const std::string& territory) const;
    std::string IndexPath(const std::string& territory) const;

    // Replaces the stored list of `index.territory` by `xml` and its index; creates the
    // folder (mode 0700) when it is missing.
    [[nodiscard]] bool Store(const ListIndex& index, std::string_view xml,
                             std::string& error) const;
    // The index of `territory`. False when there is none or it cannot be read.
    [[nodiscard]] bool Load(const std::string& territory, ListIndex& index,
                            std::string& error) const;
    // The stored XML of `territory`.
    [[nodiscard]] bool ReadXml(const std::string& territory, std::string& xml) const;
    // The territories that have an index file (the EU list of the lists among them), sorted.
    std::vector<std::string> Territories() const;
    // Removes the files of `territory`.
    void Remove(const std::string& territory) const;

private:
    std::string m_dir;
};

// Reads a whole file into `bytes` (at most kMaxListBytes). False when it cannot.
[[nodiscard]] bool ReadFileBytes(const std::string& path, std::string& bytes);

} // namespace tl
