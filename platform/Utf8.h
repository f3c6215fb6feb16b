// Small helpers for UTF-8 texts in byte-limited buffers.
#pragma once

#include <cstddef>
#include <string_view>

// The longest prefix of `text` of at most `limit` bytes that does not end inside a
// multi-byte UTF-8 character. Bytes that are not UTF-8 are cut as plain bytes.
std::string_view CutUtf8(std::string_view text, std::size_t limit);
