#include "platform/Utf8.h"

namespace {

bool IsContinuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

std::size_t SequenceLength(unsigned char lead) {
    return lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
}

} // namespace

std::string_view CutUtf8(std::string_view text, std::size_t limit) {
    if (text.size() <= limit) {
        return text;
    }
    // text[limit] is the first byte left out. When it continues a character, step back to
    // that character's lead byte (at most three bytes) and leave the whole character out.
    std::size_t lead = limit;
    while (lead > 0 && limit - lead < 3 && IsContinuation(static_cast<unsigned char>(text[lead]))) {
        --lead;
    }
    const auto byte = static_cast<unsigned char>(text[lead]);
    if (lead < limit && byte >= 0xC0 && lead + SequenceLength(byte) > limit) {
        return text.substr(0, lead);
    }
    return text.substr(0, limit);
}
