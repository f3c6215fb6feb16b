// The reply: framing check, status and the token inside.
#include "TtiTestSupport.h"

#include <gtest/gtest.h>

namespace mivo::test {
namespace {

struct Checked {
    int rc;
    int len;
    int type;
    Bytes buffer;
};

Checked Check(Bytes buffer) {
    Checked c{0, Len(buffer), -99, std::move(buffer)};
    c.rc = TTI_CheckReply(c.buffer.data(), &c.len, &c.type, 0);
    return c;
}

Bytes Str(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

TEST(CheckReply, FinalMessageIsUnwrappedInPlace) {
    const Bytes reply = TokenFactory::Reply();
    const Checked c = Check(TokenFactory::Framed(TTI_MSG_FINAL_MSG_REP, reply));
    ASSERT_EQ(c.rc, TTI_OK);
    EXPECT_EQ(c.type, TTI_MSG_FINAL_MSG_REP);
    ASSERT_EQ(c.len, Len(reply));
    EXPECT_TRUE(std::equal(reply.begin(), reply.end(), c.buffer.begin()));
    EXPECT_EQ(DecodeStatus(Bytes(c.buffer.begin(), c.buffer.begin() + c.len)).rc, TTI_OK);
}

TEST(CheckReply, UnframedDerPassesUnchanged) {
    const Bytes reply = Real("sigstage-ecdsa-sha256-reply.tsr");
    const Checked c = Check(reply);
    EXPECT_EQ(c.rc, TTI_OK);
    EXPECT_EQ(c.len, Len(reply));
    EXPECT_EQ(c.buffer, reply);
    // Short-form length too: a refusal of 54 bytes.
    EXPECT_EQ(Check(Real("rejection-baddataformat-reply.tsr")).rc, TTI_OK);
}

TEST(CheckReply, OtherMessagesAreNotReplies) {
    Checked c = Check(TokenFactory::Framed(TTI_MSG_ERROR_MSG_REP, Str("server busy")));
    EXPECT_EQ(c.rc, TTI_E_TCP_HEADER);
    EXPECT_EQ(c.type, TTI_MSG_ERROR_MSG_REP);
    EXPECT_EQ(std::string(c.buffer.begin() + 5, c.buffer.end()), "server busy");

    c = Check(TokenFactory::Framed(TTI_MSG_POLL_REP, Bytes(8, 0)));
    EXPECT_EQ(c.rc, TTI_E_TCP_HEADER);
    EXPECT_EQ(c.type, TTI_MSG_POLL_REP);

    c = Check(Bytes{0, 0, 0, 0, 5});
    EXPECT_EQ(c.rc, TTI_E_TCP_HEADER);
    EXPECT_EQ(c.type, -1);
}

TEST(CheckReply, LengthMismatchGivesTheExpectedLength) {
    const Bytes framed = TokenFactory::Framed(TTI_MSG_FINAL_MSG_REP, TokenFactory::Reply());
    Checked c = Check(Bytes(framed.begin(), framed.end() - 10));
    EXPECT_EQ(c.rc, TTI_E_LENGTH);
    EXPECT_EQ(c.len, Len(framed));

    Bytes longer = framed;
    longer.push_back(0);
    c = Check(longer);
    EXPECT_EQ(c.rc, TTI_E_LENGTH);
    EXPECT_EQ(c.len, Len(framed));

    const Bytes reply = Real("sigstage-ecdsa-sha256-reply.tsr");
    c = Check(Bytes(reply.begin(), reply.end() - 1));
    EXPECT_EQ(c.rc, TTI_E_LENGTH);
    EXPECT_EQ(c.len, Len(reply));
    Bytes extra = reply;
    extra.push_back(0);
    c = Check(extra);
    EXPECT_EQ(c.rc, TTI_E_LENGTH);
    EXPECT_EQ(c.len, Len(reply));
}

TEST(CheckReply, ShortInputs) {
    EXPECT_EQ(Check({}).rc, TTI_E_LENGTH);
    EXPECT_EQ(Check({}).len, 5);
    EXPECT_EQ(Check({0, 0, 0}).len, 5);
    Checked c = Check({0, 0, 0, 9});
    EXPECT_EQ(c.rc, TTI_E_LENGTH);
    EXPECT_EQ(c.len, 13);
    c = Check({0x30});
    EXPECT_EQ(c.rc, TTI_E_LENGTH);
    EXPECT_EQ(c.len, 2);
    c = Check({0x30, 0x82, 0x01});
    EXPECT_EQ(c.rc, TTI_E_LENGTH);
    EXPECT_EQ(c.len, 4);
    c = Check({0x30, 0x03});
    EXPECT_EQ(c.rc, TTI_E_LENGTH);
    EXPECT_EQ(c.len, 5);
    EXPECT_EQ(Check({0x30, 0x00}).rc, TTI_OK);
}

TEST(CheckReply, ImpossibleLengthsAreNoReply) {
    EXPECT_EQ(Check({0xFF, 0xFF, 0xFF, 0xFF, 5}).rc, TTI_E_ASN_FORMAT);
    EXPECT_EQ(Check({0x30, 0x85, 1, 0, 0, 0, 0}).rc, TTI_E_ASN_FORMAT);
    EXPECT_EQ(Check({0x30, 0x84, 0xFF, 0xFF, 0xFF, 0xFF}).rc, TTI_E_ASN_FORMAT);
    // BER's indefinite length cannot be checked by counting: the decoders do it.
    EXPECT_EQ(Check({0x30, 0x80, 0x00, 0x00}).rc, TTI_OK);

    int len = -1;
    int type = 0;
    unsigned char b = 0;
    EXPECT_EQ(TTI_CheckReply(&b, &len, &type, 0), TTI_E_INVALID_PARAMETER);
    EXPECT_EQ(TTI_CheckReply(&b, nullptr, &type, 0), TTI_E_INVALID_PARAMETER);
}

TEST(ReplyStatus, EveryStatusWithTextAndFailureBits) {
    const Bytes granted = TokenFactory::Reply({}, StatusSpec{1, {"Operation Okay", "second"}, {}});
    StatusResult r = DecodeStatus(granted);
    ASSERT_EQ(r.rc, TTI_OK);
    EXPECT_EQ(r.status.nStatus, 1);
    EXPECT_STREQ(r.status.szStatusText, "Operation Okay");
    EXPECT_EQ(r.status.nFailInfo, 0);

    // badAlg (0), badRequest (2), badDataFormat (5), timeNotAvailable (14),
    // unacceptedPolicy (15), unacceptedExtension (16), addInfoNotAvailable (17),
    // systemFailure (25), and the highest bit that fits.
    for (uint32_t bits : {1u, 4u, 32u, 1u << 14, 1u << 15, 1u << 16, 1u << 17, 1u << 25,
                          (1u << 2) | (1u << 25), 1u << 31}) {
        r = DecodeStatus(TokenFactory::ReplyWith(StatusSpec{2, {"nope"}, bits}, std::nullopt));
        ASSERT_EQ(r.rc, TTI_OK) << bits;
        EXPECT_EQ(r.status.nStatus, 2);
        EXPECT_EQ(static_cast<uint32_t>(r.status.nFailInfo), bits);
    }
    r = DecodeStatus(TokenFactory::ReplyWith(StatusSpec{5, {}, {}}, std::nullopt));
    ASSERT_EQ(r.rc, TTI_OK);
    EXPECT_EQ(r.status.nStatus, 5);
    EXPECT_STREQ(r.status.szStatusText, "");

    // UTF-8 text stays UTF-8.
    r = DecodeStatus(TokenFactory::ReplyWith(StatusSpec{2, {"Špatný požadavek"}, {}}, {}));
    ASSERT_EQ(r.rc, TTI_OK);
    EXPECT_STREQ(r.status.szStatusText, "Špatný požadavek");
}

TEST(ReplyStatus, ValuesThatDoNotFitTheRecord) {
    // 79 bytes fit beside the terminating zero, 80 do not.
    StatusResult r = DecodeStatus(TokenFactory::ReplyWith({2, {std::string(79, 'x')}, {}}, {}));
    EXPECT_EQ(r.rc, TTI_OK);
    EXPECT_EQ(std::strlen(r.status.szStatusText), 79u);
    // A longer text is only shown: it is cut, never a reason to refuse the reply.
    r = DecodeStatus(TokenFactory::ReplyWith({2, {std::string(120, 'x')}, 4}, {}));
    ASSERT_EQ(r.rc, TTI_OK);
    EXPECT_EQ(r.status.nStatus, 2);
    EXPECT_EQ(r.status.nFailInfo, 4);
    EXPECT_EQ(std::string(r.status.szStatusText), std::string(79, 'x'));
    // Never inside a character: "ř" is two bytes, "€" three, "𝄞" four; each is put so
    // that byte 79 falls inside it, and the cut keeps the character whole or drops it.
    for (const char* character : {"\xC5\x99", "\xE2\x82\xAC", "\xF0\x9D\x84\x9E"}) {
        const std::string text = std::string(78, 'a') + character + std::string(40, 'b');
        r = DecodeStatus(TokenFactory::ReplyWith({2, {text}, {}}, {}));
        ASSERT_EQ(r.rc, TTI_OK);
        EXPECT_EQ(std::string(r.status.szStatusText), std::string(78, 'a')) << character;
    }
    const std::string fitsWhole = std::string(77, 'a') + "\xC5\x99" + "bbb";
    r = DecodeStatus(TokenFactory::ReplyWith({2, {fitsWhole}, {}}, {}));
    ASSERT_EQ(r.rc, TTI_OK);
    EXPECT_EQ(std::string(r.status.szStatusText), fitsWhole.substr(0, 79));

    r = DecodeStatus(TokenFactory::ReplyWith({0x80000000L, {}, {}}, {}));
    EXPECT_EQ(r.rc, TTI_E_INTERNAL_BUFFER);

    // A failure bit beyond 31: bit 32 of a BIT STRING of five bytes.
    const Bytes bit32{0x30, 0x0D, 0x30, 0x0B, 0x02, 0x01, 0x02, 0x03, 0x06, 0x07, 0, 0, 0, 0, 0x80};
    EXPECT_EQ(DecodeStatus(bit32).rc, TTI_E_INTERNAL_BUFFER);

    // A zero byte inside the text cannot be shown as text.
    EXPECT_EQ(DecodeStatus(TokenFactory::ReplyWith({2, {std::string("a\0b", 3)}, {}}, {})).rc,
              TTI_E_ASN_FORMAT);
}

TEST(ReplyStatus, TokenIsNotAReply) {
    EXPECT_EQ(DecodeStatus(TokenFactory::Token()).rc, TTI_E_ASN_FORMAT);
    EXPECT_EQ(DecodeStatus(Real("exceet-rsa-sha256-token-der.tst")).rc, TTI_E_ASN_FORMAT);
    TTI_STATUS s{};
    EXPECT_EQ(TTI_GetTSR_Status(&s, nullptr, 0), TTI_E_ASN_FORMAT);
    EXPECT_EQ(TTI_GetTSR_Status(nullptr, reinterpret_cast<const unsigned char*>("0"), 1),
              TTI_E_INVALID_PARAMETER);
    EXPECT_EQ(TTI_GetTSR_Status(&s, nullptr, 5), TTI_E_INVALID_PARAMETER);
}

TEST(EncodedToken, IsTheTokenAsItStandsInTheReply) {
    const Bytes token = TokenFactory::ToBer(TokenFactory::Token());
    const Bytes reply = TokenFactory::ReplyWith({}, token);
    Bytes out(8192);
    int len = Len(out);
    ASSERT_EQ(TTI_GetTSR_EncodedToken(out.data(), &len, reply.data(), Len(reply)), TTI_OK);
    out.resize(static_cast<std::size_t>(len));
    EXPECT_EQ(out, token);

    // Granted with modifications carries a token as well.
    const Bytes modified = TokenFactory::ReplyWith({1, {}, {}}, token);
    len = 8192;
    out.resize(8192);
    EXPECT_EQ(TTI_GetTSR_EncodedToken(out.data(), &len, modified.data(), Len(modified)), TTI_OK);
}

TEST(EncodedToken, RefusalsMissingTokensAndSmallBuffers) {
    Bytes out(8192);
    int len = Len(out);
    const Bytes noToken = TokenFactory::ReplyWith({}, std::nullopt);
    EXPECT_EQ(TTI_GetTSR_EncodedToken(out.data(), &len, noToken.data(), Len(noToken)),
              TTI_E_NO_TOKEN);

    const Bytes token = TokenFactory::Token();
    const Bytes refused = TokenFactory::ReplyWith({2, {}, 4}, token);
    EXPECT_EQ(TTI_GetTSR_EncodedToken(out.data(), &len, refused.data(), Len(refused)),
              TTI_E_NOT_GRANTED);

    const Bytes reply = TokenFactory::ReplyWith({}, token);
    len = Len(token) - 1;
    EXPECT_EQ(TTI_GetTSR_EncodedToken(out.data(), &len, reply.data(), Len(reply)),
              TTI_E_BUFFER_TOO_SMALL);
    EXPECT_EQ(len, Len(token));
    EXPECT_EQ(TTI_GetTSR_EncodedToken(out.data(), &len, reply.data(), Len(reply)), TTI_OK);

    // Something else where the token belongs.
    const Bytes notToken = TokenFactory::ReplyWith({}, Bytes{0x04, 0x01, 0x00});
    len = 8192;
    EXPECT_EQ(TTI_GetTSR_EncodedToken(out.data(), &len, notToken.data(), Len(notToken)),
              TTI_E_ASN_FORMAT);
    EXPECT_EQ(DecodeStatus(notToken).rc, TTI_E_ASN_FORMAT);
}

} // namespace
} // namespace mivo::test
