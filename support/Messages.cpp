#include "support/Messages.h"

#include "platform/LastError.h"
#include "platform/Utf8.h"
#include "support/StringIds.h"

#include <cerrno>
#include <cstdio>
#include <optional>

namespace message_format {
namespace {

constexpr int kMaxWidth = 4096;

struct Conversion {
    std::string flags;
    int width = -1;     // -1: none
    int precision = -1; // -1: none
    std::string length; // "hh", "h", "l", "ll", "q", "j", "z", "t", "L" or empty
    char type = 0;
};

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
// The pattern is built by FormatOne from a checked conversion and its argument's type.
template <typename T> std::string Printf(const std::string& pattern, T value) {
    char small[128];
    const int needed = std::snprintf(small, sizeof small, pattern.c_str(), value);
    if (needed < 0) {
        return {};
    }
    if (static_cast<std::size_t>(needed) < sizeof small) {
        return std::string(small, static_cast<std::size_t>(needed));
    }
    std::string result(static_cast<std::size_t>(needed) + 1, '\0');
    std::snprintf(result.data(), result.size(), pattern.c_str(), value);
    result.resize(static_cast<std::size_t>(needed));
    return result;
}
#pragma GCC diagnostic pop

std::string Pattern(const Conversion& c, std::string_view length, char type) {
    std::string pattern = "%" + c.flags;
    if (c.width >= 0) {
        pattern += std::to_string(c.width);
    }
    if (c.precision >= 0) {
        pattern += "." + std::to_string(c.precision);
    }
    pattern.append(length);
    pattern += type;
    return pattern;
}

std::string FormatText(const Conversion& c, std::string_view text) {
    if (c.precision >= 0) {
        text = CutUtf8(text, static_cast<std::size_t>(c.precision));
    }
    std::string result(text);
    if (c.width > 0 && static_cast<std::size_t>(c.width) > result.size()) {
        const std::string padding(static_cast<std::size_t>(c.width) - result.size(), ' ');
        result = c.flags.find('-') != std::string::npos ? result + padding : padding + result;
    }
    return result;
}

// An integer argument as the conversion's length modifier makes printf read it.
long long SignedAs(const std::string& length, long long value) {
    if (length == "hh") {
        return static_cast<signed char>(value);
    }
    if (length == "h") {
        return static_cast<short>(value);
    }
    if (length.empty()) {
        return static_cast<int>(value);
    }
    return value; // l, ll, q, j, z, t: 64 bits here
}

unsigned long long UnsignedAs(const std::string& length, unsigned long long value) {
    if (length == "hh") {
        return static_cast<unsigned char>(value);
    }
    if (length == "h") {
        return static_cast<unsigned short>(value);
    }
    if (length.empty()) {
        return static_cast<unsigned int>(value);
    }
    return value;
}

std::optional<std::string> FormatOne(const Conversion& c, const Arg& arg) {
    const bool isInteger = arg.kind == Arg::Kind::Signed || arg.kind == Arg::Kind::Unsigned;
    switch (c.type) {
    case 'd':
    case 'i': {
        if (!isInteger) {
            return std::nullopt;
        }
        const long long raw =
            arg.kind == Arg::Kind::Signed ? arg.sValue : static_cast<long long>(arg.uValue);
        return Printf(Pattern(c, "ll", c.type), SignedAs(c.length, raw));
    }
    case 'u':
    case 'o':
    case 'x':
    case 'X': {
        if (!isInteger) {
            return std::nullopt;
        }
        const unsigned long long raw = arg.kind == Arg::Kind::Unsigned
                                           ? arg.uValue
                                           : static_cast<unsigned long long>(arg.sValue);
        return Printf(Pattern(c, "ll", c.type), UnsignedAs(c.length, raw));
    }
    case 'c':
        if (!isInteger) {
            return std::nullopt;
        }
        return Printf(Pattern(c, "", 'c'),
                      static_cast<int>(arg.kind == Arg::Kind::Signed
                                           ? arg.sValue
                                           : static_cast<long long>(arg.uValue)));
    case 'e':
    case 'E':
    case 'f':
    case 'F':
    case 'g':
    case 'G':
    case 'a':
    case 'A': {
        double value = arg.fValue;
        if (arg.kind == Arg::Kind::Signed) {
            value = static_cast<double>(arg.sValue);
        } else if (arg.kind == Arg::Kind::Unsigned) {
            value = static_cast<double>(arg.uValue);
        } else if (arg.kind != Arg::Kind::Floating) {
            return std::nullopt;
        }
        return Printf(Pattern(c, "", c.type), value);
    }
    case 's':
        if (arg.kind != Arg::Kind::Text) {
            return std::nullopt;
        }
        return FormatText(c, arg.text != nullptr ? std::string_view(arg.text, arg.textLength)
                                                 : std::string_view("(null)"));
    case 'p':
        if (arg.kind != Arg::Kind::Pointer) {
            return std::nullopt;
        }
        return Printf(Pattern(c, "", 'p'), arg.pointer);
    default:
        return std::nullopt; // %n, positions and anything unknown
    }
}

// Reads a decimal number of at most kMaxWidth at `pos`; false when it is larger.
bool ReadNumber(std::string_view format, std::size_t& pos, int& number) {
    number = 0;
    while (pos < format.size() && format[pos] >= '0' && format[pos] <= '9') {
        number = number * 10 + (format[pos] - '0');
        if (number > kMaxWidth) {
            return false;
        }
        ++pos;
    }
    return true;
}

// An integer argument taken by "*".
bool StarArgument(std::span<const Arg> args, std::size_t& next, long long& value) {
    if (next >= args.size()) {
        return false;
    }
    const Arg& arg = args[next++];
    if (arg.kind == Arg::Kind::Signed) {
        value = static_cast<int>(arg.sValue);
    } else if (arg.kind == Arg::Kind::Unsigned) {
        value = static_cast<int>(arg.uValue);
    } else {
        return false;
    }
    return value >= -kMaxWidth && value <= kMaxWidth;
}

std::optional<std::string> FormatChecked(std::string_view format, std::span<const Arg> args) {
    std::string out;
    std::size_t next = 0;
    std::size_t pos = 0;
    while (pos < format.size()) {
        const std::size_t percent = format.find('%', pos);
        out.append(format.substr(pos, percent - pos));
        if (percent == std::string_view::npos) {
            break;
        }
        pos = percent + 1;
        if (pos < format.size() && format[pos] == '%') {
            out += '%';
            ++pos;
            continue;
        }
        Conversion c;
        while (pos < format.size() &&
               std::string_view("-+ #0'").find(format[pos]) != std::string_view::npos) {
            c.flags += format[pos++];
        }
        if (pos < format.size() && format[pos] == '*') {
            ++pos;
            long long width = 0;
            if (!StarArgument(args, next, width)) {
                return std::nullopt;
            }
            if (width < 0) {
                c.flags += '-';
                width = -width;
            }
            c.width = static_cast<int>(width);
        } else if (pos < format.size() && format[pos] >= '1' && format[pos] <= '9') {
            if (!ReadNumber(format, pos, c.width)) {
                return std::nullopt;
            }
        }
        if (pos < format.size() && format[pos] == '.') {
            ++pos;
            if (pos < format.size() && format[pos] == '*') {
                ++pos;
                long long precision = 0;
                if (!StarArgument(args, next, precision)) {
                    return std::nullopt;
                }
                c.precision = precision < 0 ? -1 : static_cast<int>(precision);
            } else if (!ReadNumber(format, pos, c.precision)) {
                return std::nullopt;
            }
        }
        for (std::string_view modifier : {"hh", "h", "ll", "l", "q", "j", "z", "t", "L"}) {
            if (format.substr(pos, modifier.size()) == modifier) {
                c.length = modifier;
                pos += modifier.size();
                break;
            }
        }
        if (pos >= format.size() || next >= args.size()) {
            return std::nullopt;
        }
        c.type = format[pos++];
        std::optional<std::string> piece = FormatOne(c, args[next++]);
        if (!piece) {
            return std::nullopt;
        }
        out += *piece;
    }
    return out;
}

} // namespace

std::string Format(std::string_view format, std::span<const Arg> args) {
    const std::optional<std::string> formatted = FormatChecked(format, args);
    return std::string(
        CutUtf8(formatted ? std::string_view(*formatted) : format, kFormattedTextLimit));
}

} // namespace message_format

std::string LoadResString(uint32_t id) {
    const LastErrorKeeper keep;
    const int savedErrno = errno;
    const char* text = FindStringTableText(id);
    std::string result = text != nullptr ? text : "";
    errno = savedErrno;
    return result;
}

void ErrorBox(const std::string& text) {
    MessageBoxes().Show(text, LoadResString(IDS_APP_TITLE), MsgButtons::Ok, MsgIcon::Error);
}
