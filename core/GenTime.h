// The token's generation time compared with the computer's clock.
#pragma once

#include "platform/FileTime.h"

#include <cstdint>
#include <string_view>

// Reads a GeneralizedTime "YYYYMMDDhhmmss[.f...]Z" into calendar fields, the fraction as
// milliseconds from its first three digits (".5" 500, ".25" 250, ".125" 125,
// ".539178" 539, ".5391789" 539, none 0). Only that form is read: digits where digits
// belong, at least one digit after a ".", the closing "Z" and nothing after it. False for
// anything else; the fields are not range-checked here.
[[nodiscard]] bool ParseGenTime(std::string_view text, SystemTime& time);

// The generation time as file-time ticks. False when the text cannot be read or a field is
// out of range: such a time is never guessed.
[[nodiscard]] bool GenTimeToFileTime(std::string_view text, uint64_t& fileTime);

// The largest distance between the token's time and the clock, in file-time ticks.
inline constexpr uint64_t kMaxClockSkew = 300 * kFileTimeTicksPerSecond;

// The two times are at most five minutes apart, in either direction, bounds included.
bool WithinClockSkew(uint64_t tokenTime, uint64_t now);
