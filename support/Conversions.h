// Text conversions at the program's edges. The program's own texts are UTF-8 (its "ANSI"
// code page); tokens bring UTF-8, the browser brings UTF-16.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The longest text Utf8ToAnsi hands back, in UTF-16 code units (the conversion's buffers
// hold 512 units with the terminator).
inline constexpr std::size_t kUtf8ToAnsiMaxUnits = 511;

// Checks the UTF-8 text (up to its first NUL) and stores it in `text`. Each ill-formed
// sequence (a stray byte, an overlong form, a surrogate, a code point above U+10FFFF, a
// truncated character) becomes one U+FFFD REPLACEMENT CHARACTER, as a conversion through
// UTF-16 does. The result holds at most the first 511 UTF-16 code units' worth of
// characters (a character outside the Basic Multilingual Plane counts two); anything after
// that is dropped, never half a character.
void Utf8ToAnsi(std::string_view utf8, std::string& text);

// Converts `length` UTF-16 code units to UTF-8; only the low 16 bits of `length` count.
// A null text or a length of 0 gives "". An unpaired surrogate becomes U+FFFD; NUL units
// are converted like any other.
std::string WideToAnsi(const char16_t* text, std::size_t length);

// The display form of a GeneralizedTime text "YYYYMMDDhhmmss[.fff…]Z" (up to its first
// NUL): "YYYY/MM/DD  hh:mm:ss" with at most three fraction digits, e.g.
// "20100215123456.125Z" -> "2010/02/15  12:34:56.125". No time-zone conversion. The text
// is taken piece by piece as it stands; a shorter text gives shorter (or empty) pieces.
std::string FormatGenTime(std::string_view genTime);
