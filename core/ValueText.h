// Value-to-text conversions of the stamp details: serial numbers and byte strings.
#pragma once

#include <string>

// The big-endian unsigned number in decimal digits (zero bytes give "0"). When the
// conversion cannot be made, `text` is left as it was.
void SerialToDecimal(const unsigned char* bytes, int length, std::string& text);

// Each byte as two upper-case hexadecimal digits, separated by one blank when `separate`
// is set; `text` is replaced by the result (zero bytes give "").
void BytesToHex(const unsigned char* bytes, int length, bool separate, std::string& text);
