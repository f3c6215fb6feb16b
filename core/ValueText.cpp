#include "core/ValueText.h"

#include <openssl/bn.h>
#include <openssl/crypto.h>

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
