// Turning string-table messages into texts, and showing texts in error boxes.
//
// Messages are printf-style templates ("%s", "%d", "%u", ...). The arguments are checked
// against the template when it is formatted, because the template is only known at run
// time: std::string, std::string_view and C strings go to "%s", numbers to the numeric
// conversions (converted to the type the conversion names, as printf would read it), and
// pointers to "%p". A template that asks for an argument of another kind, or for more
// arguments than it got, or that uses "%n", positions ("%1$s") or a width or precision
// above 4096 is not formatted: the text is then the template itself, placeholders and all.
#pragma once

#include "support/IMessageBoxes.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

// A formatted text is at most kFormattedTextLimit bytes: longer output is cut there, never
// inside a UTF-8 character.
inline constexpr std::size_t kFormattedTextLimit = 4095;

namespace message_format {

struct Arg {
    enum class Kind { None, Signed, Unsigned, Floating, Text, Pointer };
    Kind kind = Kind::None;
    long long sValue = 0;
    unsigned long long uValue = 0;
    double fValue = 0;
    const char* text = nullptr; // null: "(null)"
    std::size_t textLength = 0;
    const void* pointer = nullptr;
};

template <typename T> Arg MakeArg(const T& value) {
    using U = std::remove_cv_t<T>;
    Arg arg;
    if constexpr (std::is_same_v<U, std::string> || std::is_same_v<U, std::string_view>) {
        arg.kind = Arg::Kind::Text;
        arg.text = value.data();
        arg.textLength = value.size();
    } else if constexpr (std::is_array_v<U> &&
                         std::is_same_v<std::remove_cv_t<std::remove_extent_t<U>>, char>) {
        arg.kind = Arg::Kind::Text;
        arg.text = value;
        arg.textLength = std::char_traits<char>::length(value);
    } else if constexpr (std::is_pointer_v<U> &&
                         std::is_same_v<std::remove_cv_t<std::remove_pointer_t<U>>, char>) {
        arg.kind = Arg::Kind::Text;
        arg.text = value;
        arg.textLength = value != nullptr ? std::char_traits<char>::length(value) : 0;
    } else if constexpr (std::is_enum_v<U>) {
        return MakeArg(static_cast<std::underlying_type_t<U>>(value));
    } else if constexpr (std::is_integral_v<U> && std::is_signed_v<U>) {
        arg.kind = Arg::Kind::Signed;
        arg.sValue = value;
    } else if constexpr (std::is_integral_v<U>) {
        arg.kind = Arg::Kind::Unsigned;
        arg.uValue = value;
    } else if constexpr (std::is_floating_point_v<U>) {
        arg.kind = Arg::Kind::Floating;
        arg.fValue = static_cast<double>(value);
    } else if constexpr (std::is_pointer_v<U> || std::is_null_pointer_v<U>) {
        arg.kind = Arg::Kind::Pointer;
        arg.pointer = value;
    } else {
        static_assert(std::is_pointer_v<U>, "this type cannot be a message argument");
    }
    return arg;
}

std::string Format(std::string_view format, std::span<const Arg> args);

} // namespace message_format

// Formats `format` printf-style with the arguments, at most kFormattedTextLimit bytes.
template <typename... Args> std::string FormatText(std::string_view format, const Args&... args) {
    const message_format::Arg list[] = {message_format::MakeArg(args)..., message_format::Arg{}};
    return message_format::Format(format, std::span(list, sizeof...(Args)));
}

// The string-table text of `id`; empty when there is none. The thread's last error (code
// and detail) is the same afterwards as before.
std::string LoadResString(uint32_t id);

// The text of `id` formatted with the arguments. An unknown id gives an empty text.
template <typename... Args> std::string FormatRes(uint32_t id, const Args&... args) {
    return FormatText(LoadResString(id), args...);
}

// A modal box with the text, an OK button and the error icon, captioned with the
// application's title.
void ErrorBox(const std::string& text);

template <typename... Args> void ErrorBoxF(uint32_t id, const Args&... args) {
    ErrorBox(FormatRes(id, args...));
}
