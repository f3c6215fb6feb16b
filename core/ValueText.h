// Value-to-text conversions of the stamp details and of the command line's records: serial
// numbers, byte strings and the text fields of the library's records.
#pragma once

#include <cstddef>
#include <cstring>
#include <span>
#include <string>
#include <string_view>

// The big-endian unsigned number in decimal digits (zero bytes give "0"). When the
// conversion cannot be made, `text` is left as it was.
void SerialToDecimal(const unsigned char* bytes, int length, std::string& text);

// Each byte as two upper-case hexadecimal digits, separated by one blank when `separate`
// is set; `text` is replaced by the result (zero bytes give "").
void BytesToHex(const unsigned char* bytes, int length, bool separate, std::string& text);

// The bytes as upper-case hexadecimal pairs separated by blanks ("0A 1B FF").
std::string HexText(const unsigned char* bytes, int length);

// The bytes as lower-case hexadecimal digits without separators, as digest tools print a
// digest.
std::string DigestHexText(const unsigned char* bytes, int length);

// A serial number or nonce: its decimal digits, then " (", HexText, ")". A conversion to
// decimal that cannot be made leaves only the bracketed hex.
std::string SerialText(const unsigned char* bytes, int length);

// The text of a record's zero-terminated field, which may fill the whole field.
template <std::size_t N> std::string_view FieldText(const char (&field)[N]) {
    return std::string_view(field, strnlen(field, N));
}

// The bytes read as text: up to the first zero byte, never past the end, and no longer
// than a formatted message can be.
std::string_view BytesAsText(std::span<const unsigned char> bytes);
