// Invariant checks shared by the fuzz targets: a broken invariant stops the run as a crash.
#ifndef MIVO_FUZZ_FUZZCHECK_H
#define MIVO_FUZZ_FUZZCHECK_H

#include <cstddef>
#include <cstring>

#define FUZZ_CHECK(cond)                                                                           \
    do {                                                                                           \
        if (!(cond))                                                                               \
            __builtin_trap();                                                                      \
    } while (0)

namespace mivo::fuzz {

// A text field of a record ends within the field.
template <std::size_t N> bool Terminated(const char (&field)[N]) {
    return std::memchr(field, 0, N) != nullptr;
}

// A record that a failed call must leave as it was.
template <class T> void Fill(T& record, unsigned char pattern) {
    std::memset(&record, pattern, sizeof record);
}

template <class T> bool Unchanged(const T& record, unsigned char pattern) {
    const auto* p = reinterpret_cast<const unsigned char*>(&record);
    for (std::size_t i = 0; i < sizeof record; ++i)
        if (p[i] != pattern)
            return false;
    return true;
}

// Equal bytes; no bytes are always equal (memcmp must not see a null pointer).
inline bool Same(const void* a, const void* b, std::size_t n) {
    return n == 0 || std::memcmp(a, b, n) == 0;
}

// A library code is one of the documented ones.
inline bool KnownCode(int rc) {
    return rc <= 0 && rc >= -17;
}

} // namespace mivo::fuzz

#endif
