// Reading one named section out of an ELF file (the program's own executable or any file
// a caller names). The file is untrusted: every offset, size and count is checked against
// the file's size before it is used, and nothing is read outside the file.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// ELF64 and ELF32, little-endian. Fails when the file is not such an ELF file, when no
// section has that name, when the section holds no bytes in the file (SHT_NOBITS), or when
// its size exceeds `maxSize`. The first section of that name counts.
[[nodiscard]] bool ReadElfSection(const std::string& path, std::string_view name,
                                  std::vector<unsigned char>& contents, std::size_t maxSize);

// The same, on a whole ELF image in memory.
[[nodiscard]] bool FindElfSection(std::span<const unsigned char> image, std::string_view name,
                                  std::vector<unsigned char>& contents, std::size_t maxSize);
