// The reply: its framing, its status and the token it carries.
#include "core/tti/tti_internal.h"

#include <cstring>
#include <limits>

using namespace mivo::tti;

namespace {

constexpr int kFrameHeader = 5; // 4-byte length of the rest, 1-byte message type
constexpr uint64_t kIntMax = static_cast<uint64_t>(std::numeric_limits<int>::max());

// The expected total length of a framed message, from what of its header arrived.
int CheckFramed(unsigned char* buffer, int* len, int* msgType) {
    const int n = *len;
    if (n < 4) {
        *len = kFrameHeader;
        return TTI_E_LENGTH;
    }
    const uint64_t rest = (uint64_t{buffer[0]} << 24) | (uint64_t{buffer[1]} << 16) |
                          (uint64_t{buffer[2]} << 8) | uint64_t{buffer[3]};
    if (rest == 0) {
        if (msgType != nullptr)
            *msgType = -1; // a header without a message type
        return TTI_E_TCP_HEADER;
    }
    const uint64_t total = 4 + rest;
    if (total > kIntMax)
        return TTI_E_ASN_FORMAT; // no message of ours is that long: not a framed reply
    if (total != static_cast<uint64_t>(n)) {
        *len = static_cast<int>(total);
        return TTI_E_LENGTH;
    }
    const int type = buffer[4];
    if (msgType != nullptr)
        *msgType = type;
    if (type != TTI_MSG_FINAL_MSG_REP)
        return TTI_E_TCP_HEADER; // an error message keeps its text 5 bytes into the buffer
    std::memmove(buffer, buffer + kFrameHeader, static_cast<std::size_t>(n - kFrameHeader));
    *len = n - kFrameHeader;
    return TTI_OK;
}

// A bare DER reply: its definite length must agree with the byte count. An indefinite
// length (BER) cannot be checked here; the decoders will.
int CheckUnframed(const unsigned char* buffer, int* len, int* msgType) {
    const int n = *len;
    if (n < 2) {
        *len = 2;
        return TTI_E_LENGTH;
    }
    uint64_t total = 0;
    const unsigned char first = buffer[1];
    if (first == 0x80) {
        total = static_cast<uint64_t>(n);
    } else if (first < 0x80) {
        total = 2 + uint64_t{first};
    } else {
        const int octets = first & 0x7f;
        if (octets > 4)
            return TTI_E_ASN_FORMAT;
        if (n < 2 + octets) {
            *len = 2 + octets;
            return TTI_E_LENGTH;
        }
        uint64_t content = 0;
        for (int i = 0; i < octets; ++i)
            content = (content << 8) | buffer[2 + i];
        total = 2 + static_cast<uint64_t>(octets) + content;
        if (total > kIntMax)
            return TTI_E_ASN_FORMAT;
    }
    if (total != static_cast<uint64_t>(n)) {
        *len = static_cast<int>(total);
        return TTI_E_LENGTH;
    }
    if (msgType != nullptr)
        *msgType = TTI_MSG_FINAL_MSG_REP;
    return TTI_OK;
}

int DecodeReply(ItemPtr<TimeStampResp>& reply, const unsigned char* resp, int respLen) {
    if (int rc = CheckInput(resp, respLen); rc != TTI_OK)
        return rc;
    reply = DecodeItem<TimeStampResp>(std::span(resp, static_cast<std::size_t>(respLen)));
    if (!reply)
        return TTI_E_ASN_FORMAT;
    // The token, when there is one, is a ContentInfo: a SEQUENCE.
    if (reply->token != nullptr && ASN1_TYPE_get(reply->token) != V_ASN1_SEQUENCE)
        return TTI_E_ASN_FORMAT;
    return TTI_OK;
}

// PKIFailureInfo bit n is the value 1 << n; bits 0 to 31 fit the record's int.
int FailureBits(const ASN1_BIT_STRING* bits, int32_t& out) {
    uint32_t value = 0;
    if (bits != nullptr) {
        const int nbits = ASN1_STRING_length(bits) * 8;
        for (int n = 0; n < nbits; ++n) {
            if (!ASN1_BIT_STRING_get_bit(bits, n))
                continue;
            if (n >= 32)
                return TTI_E_INTERNAL_BUFFER;
            value |= uint32_t{1} << n;
        }
    }
    out = static_cast<int32_t>(value);
    return TTI_OK;
}

int IsGranted(const TimeStampResp& reply) {
    int64_t status = -1;
    if (ASN1_INTEGER_get_int64(&status, reply.status->status) != 1)
        return 0;
    return status == 0 || status == 1;
}

} // namespace

extern "C" {

int TTI_CheckReply(unsigned char* buffer, int* len, int* msgType, int /*reserved*/) {
    return Guarded([&]() -> int {
        if (len == nullptr || *len < 0 || (buffer == nullptr && *len > 0))
            return TTI_E_INVALID_PARAMETER;
        // A framed message begins with its length: a first byte of 0x30 would announce
        // more than 800 MB, so such a reply is taken as a bare SEQUENCE.
        if (*len > 0 && buffer[0] == V_ASN1_CONSTRUCTED + V_ASN1_SEQUENCE)
            return CheckUnframed(buffer, len, msgType);
        return CheckFramed(buffer, len, msgType);
    });
}

int TTI_GetTSR_Status(TTI_STATUS* status, const unsigned char* resp, int respLen) {
    return Guarded([&]() -> int {
        if (status == nullptr)
            return TTI_E_INVALID_PARAMETER;
        ItemPtr<TimeStampResp> reply;
        if (int rc = DecodeReply(reply, resp, respLen); rc != TTI_OK)
            return rc;
        TTI_STATUS record{};
        const PkiStatusInfo& info = *reply->status;
        if (int rc = IntegerToInt32(info.status, record.nStatus); rc != TTI_OK)
            return rc;
        if (info.text != nullptr && sk_ASN1_UTF8STRING_num(info.text) > 0) {
            const ASN1_UTF8STRING* text = sk_ASN1_UTF8STRING_value(info.text, 0);
            if (int rc = CutText(record.szStatusText,
                                 std::span(ASN1_STRING_get0_data(text),
                                           static_cast<std::size_t>(ASN1_STRING_length(text))));
                rc != TTI_OK)
                return rc;
        }
        if (int rc = FailureBits(info.failInfo, record.nFailInfo); rc != TTI_OK)
            return rc;
        *status = record;
        return TTI_OK;
    });
}

int TTI_GetTSR_EncodedToken(unsigned char* out, int* outLen, const unsigned char* resp,
                            int respLen) {
    return Guarded([&]() -> int {
        if (int rc = CheckOutput(out, outLen); rc != TTI_OK)
            return rc;
        ItemPtr<TimeStampResp> reply;
        if (int rc = DecodeReply(reply, resp, respLen); rc != TTI_OK)
            return rc;
        if (!IsGranted(*reply))
            return TTI_E_NOT_GRANTED;
        if (reply->token == nullptr)
            return TTI_E_NO_TOKEN;
        // A SEQUENCE held as ANY keeps its whole original encoding, header included.
        const ASN1_STRING* bytes = reply->token->value.sequence;
        return WriteOut(out, outLen,
                        std::span(ASN1_STRING_get0_data(bytes),
                                  static_cast<std::size_t>(ASN1_STRING_length(bytes))));
    });
}

} // extern "C"
