#include "support/Conversions.h"

#include <cstdint>

namespace {

constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Decodes the character at `pos` and advances past it. An ill-formed sequence yields
// U+FFFD and advances past its maximal well-formed prefix only (at least one byte), so
// that the next character is not swallowed.
char32_t DecodeUtf8(std::string_view text, std::size_t& pos) {
    const auto lead = static_cast<unsigned char>(text[pos++]);
    if (lead < 0x80) {
        return lead;
    }
    std::size_t needed = 0;
    char32_t cp = 0;
    unsigned char lower = 0x80, upper = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        needed = 1;
        cp = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        needed = 2;
        cp = lead & 0x0F;
        if (lead == 0xE0) {
            lower = 0xA0; // no overlong forms
        } else if (lead == 0xED) {
            upper = 0x9F; // no surrogates
        }
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        needed = 3;
        cp = lead & 0x07;
        if (lead == 0xF0) {
            lower = 0x90;
        } else if (lead == 0xF4) {
            upper = 0x8F; // nothing above U+10FFFF
        }
    } else {
        return kReplacement;
    }
    for (std::size_t i = 0; i < needed; ++i) {
        if (pos >= text.size()) {
            return kReplacement;
        }
        const auto byte = static_cast<unsigned char>(text[pos]);
        if (byte < lower || byte > upper) {
            return kReplacement;
        }
        lower = 0x80;
        upper = 0xBF;
        cp = (cp << 6) | (byte & 0x3F);
        ++pos;
    }
    return cp;
}

} // namespace

void Utf8ToAnsi(std::string_view utf8, std::string& text) {
    utf8 = utf8.substr(0, utf8.find('\0'));
    std::string result;
    std::size_t units = 0;
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        const char32_t cp = DecodeUtf8(utf8, pos);
        units += cp >= 0x10000 ? 2 : 1;
        if (units > kUtf8ToAnsiMaxUnits) {
            break;
        }
        AppendUtf8(result, cp);
    }
    text = std::move(result);
}

std::string WideToAnsi(const char16_t* text, std::size_t length) {
    const std::size_t count = length & 0xFFFF;
    std::string result;
    if (text == nullptr || count == 0) {
        return result;
    }
    for (std::size_t i = 0; i < count; ++i) {
        const char16_t unit = text[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < count && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            AppendUtf8(result, 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) +
                                   (static_cast<char32_t>(text[i + 1]) - 0xDC00));
            ++i;
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            AppendUtf8(result, kReplacement);
        } else {
            AppendUtf8(result, unit);
        }
    }
    return result;
}

std::string FormatGenTime(std::string_view genTime) {
    genTime = genTime.substr(0, genTime.find('\0'));
    // A piece of the source, as much of it as there is.
    auto piece = [genTime](std::size_t from, std::size_t count) {
        return from < genTime.size() ? genTime.substr(from, count) : std::string_view();
    };
    std::string result;
    result.append(piece(0, 4)).append("/");
    result.append(piece(4, 2)).append("/");
    result.append(piece(6, 2)).append("  ");
    result.append(piece(8, 2)).append(":");
    result.append(piece(10, 2)).append(":");
    // Seconds, fraction and "Z": seven characters at most, the last one then dropped.
    result.append(piece(12, 7));
    result.pop_back();
    return result;
}
