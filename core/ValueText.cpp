#include "core/ValueText.h"

#include "support/Messages.h"

#include <openssl/bn.h>
#include <openssl/crypto.h>

#include <algorithm>
#include <memory>

void SerialToDecimal(const unsigned char* bytes, int length, std::string& text) {
    if (length < 0 || (bytes == nullptr && length > 0))
        return;
    std::unique_ptr<BIGNUM, decltype(&BN_free)> number(BN_bin2bn(bytes, length, nullptr), BN_free);
    if (!number)
        return;
    char* decimal = BN_bn2dec(number.get());
    if (decimal == nullptr)
        return;
    text = decimal;
    OPENSSL_free(decimal);
}

void BytesToHex(const unsigned char* bytes, int length, bool separate, std::string& text) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    if (bytes != nullptr && length > 0) {
        out.reserve(static_cast<std::size_t>(length) * 3);
        for (int i = 0; i < length; ++i) {
            if (separate && i > 0)
                out += ' ';
            out += kDigits[bytes[i] >> 4];
            out += kDigits[bytes[i] & 0x0F];
        }
    }
    text = std::move(out);
}

std::string HexText(const unsigned char* bytes, int length) {
    std::string hex;
    BytesToHex(bytes, length, true, hex);
    return hex;
}

std::string DigestHexText(const unsigned char* bytes, int length) {
    std::string hex;
    BytesToHex(bytes, length, false, hex);
    std::transform(hex.begin(), hex.end(), hex.begin(), [](char c) {
        return static_cast<char>(c >= 'A' && c <= 'F' ? c - 'A' + 'a' : c);
    });
    return hex;
}

std::string SerialText(const unsigned char* bytes, int length) {
    std::string decimal;
    SerialToDecimal(bytes, length, decimal);
    return decimal + " (" + HexText(bytes, length) + ")";
}

std::string_view BytesAsText(std::span<const unsigned char> bytes) {
    const std::size_t limit = std::min(bytes.size(), kFormattedTextLimit);
    if (limit == 0)
        return ""; // never a null text: a message would show it as "(null)"
    const auto* text = reinterpret_cast<const char*>(bytes.data());
    return std::string_view(text, strnlen(text, limit));
}
