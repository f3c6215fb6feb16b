// RequestTimeStamp against the local test TSA: the request on the wire, and every message
// of its failure table exactly as the user sees it.
#include "NetTestSupport.h"

#include "core/ClientSettings.h"
#include "core/TimeStampExchange.h"
#include "support/ErrorText.h"

#include "testlib/OpensslTs.h"
#include "testlib/RecordingMessageBoxes.h"

#include <gtest/gtest.h>

using namespace nettest;
using mivo::test::StatusSpec;

namespace {

// The process-wide settings pointed at the test TSA, direct, no files involved.
class TimeStampExchangeTest : public ::testing::Test {
protected:
    TimeStampExchangeTest() : m_sysEnv("MIVOKLIENT_SYSCONF_DIR", m_dir.Path().c_str()) {
        DeleteClientSettings();
        CClientSettings& settings = GetClientSettings();
        settings.m_strServerUrl = m_tsa.Url();
        settings.m_nProxyType = ACCESS_TYPE_DIRECT;
        settings.m_nTimeoutSec = 20;
    }
    ~TimeStampExchangeTest() override { DeleteClientSettings(); }

    // RequestTimeStamp with an 8192-byte buffer, the size of a usual reply.
    int Request(Bytes& reply) {
        m_request = MakeEncodedRequest();
        reply.assign(8192, 0);
        int length = 8192;
        const int result = RequestTimeStamp(m_request.record, reply.data(), length);
        reply.resize(result == 1 ? static_cast<std::size_t>(length) : 0);
        return result;
    }

    void Behave(const TsaBehaviour& behaviour) { m_tsa.SetBehaviour(behaviour); }

    TempDir m_dir;
    ScopedEnv m_sysEnv;
    TestTsa m_tsa;
    EncodedRequest m_request;
    RecordingMessageBoxes m_boxes;
};

} // namespace

TEST_F(TimeStampExchangeTest, PostsTheEncodedRequestAndAnswersTheReply) {
    Bytes reply;
    ASSERT_EQ(Request(reply), 1);
    EXPECT_TRUE(m_boxes.shown.empty());
    const auto requests = m_tsa.Requests();
    ASSERT_EQ(requests.size(), 1U);
    EXPECT_EQ(requests[0].body, m_request.der);
    EXPECT_EQ(requests[0].Header("Content-Type"), "application/timestamp-query");
    EXPECT_EQ(requests[0].head.find("\r\n\r\n"), requests[0].head.size() - 4);

    TTI_STATUS status{};
    ASSERT_EQ(TTI_GetTSR_Status(&status, reply.data(), static_cast<int>(reply.size())), TTI_OK);
    EXPECT_EQ(status.nStatus, 0);
    unsigned char token[8192];
    int tokenLength = sizeof token;
    ASSERT_EQ(
        TTI_GetTSR_EncodedToken(token, &tokenLength, reply.data(), static_cast<int>(reply.size())),
        TTI_OK);
    TTI_TSTINFO info{};
    info.nSize = TTI_TSTINFO_SIZE;
    ASSERT_EQ(TTI_GetTST_TSTInfo(&info, token, tokenLength), TTI_OK);
    // The same number: a nonce that starts with a zero byte comes back shorter.
    EXPECT_EQ(mivo::test::NonceHex(info.nonce, static_cast<std::size_t>(info.nNonceLen)),
              mivo::test::NonceHex(m_request.record.nonce, 8));
}

TEST_F(TimeStampExchangeTest, AFramedFinalMessageIsUnwrapped) {
    TsaBehaviour behaviour;
    behaviour.framing = TsaBehaviour::Framing::FinalMessage;
    Behave(behaviour);
    Bytes reply;
    ASSERT_EQ(Request(reply), 1);
    EXPECT_TRUE(m_boxes.shown.empty());
    TTI_STATUS status{};
    EXPECT_EQ(TTI_GetTSR_Status(&status, reply.data(), static_cast<int>(reply.size())), TTI_OK);
}

TEST_F(TimeStampExchangeTest, EveryFailureShowsItsMessage) {
    struct Case {
        const char* name;
        TsaBehaviour behaviour;
        std::string text;
    };
    std::vector<Case> cases;
    {
        TsaBehaviour b;
        b.httpStatus = 500;
        cases.push_back({"500", b,
                         "Chyba při připojení k serveru \n\n500: Na serveru došlo k neočekávané "
                         "chybě"});
    }
    {
        TsaBehaviour b;
        b.contentType = "text/html";
        cases.push_back({"text/html", b,
                         "Chyba při připojení k serveru \n\nChybný typ dokumentu Content-Type v "
                         "http odpovědi, kterou klient přijal od serveru"});
    }
    {
        TsaBehaviour b;
        b.emptyBody = true;
        cases.push_back({"empty body", b,
                         "Chyba při připojení k serveru \n\nServer poslal odpověď bez dat (0 "
                         "bajtů)."});
    }
    {
        // A framing the checks have no message of their own for: what came, and how it began.
        TsaBehaviour b;
        b.rawBody = Bytes{0x30, 0x85, 1, 2, 3, 4, 5};
        cases.push_back({"unlisted framing code", b,
                         "Chyba vrácená TTI knihovnou\n\nTTI_CheckReply " +
                             TtiErrorText(TTI_E_ASN_FORMAT) +
                             "\n\nOdpověď serveru: 7 bajtů, začátek (hex): 30 85 01 02 03 04 05"});
    }
    {
        TsaBehaviour b;
        b.framing = TsaBehaviour::Framing::ErrorMessage;
        b.errorText = "Služba je mimo provoz";
        cases.push_back({"error message", b,
                         "Chyba vrácená TTI knihovnou\n\nZpráva odpovědi:  Služba je mimo provoz"});
    }
    {
        // The TSA's text is shown up to a zero byte, with control characters made harmless.
        TsaBehaviour b;
        b.framing = TsaBehaviour::Framing::ErrorMessage;
        b.errorText = std::string("bad\x1b[31m red\r\nline\0hidden", 23);
        cases.push_back({"error message with controls", b,
                         "Chyba vrácená TTI knihovnou\n\nZpráva odpovědi:  bad?[31m red?\nline"});
    }
    {
        TsaBehaviour b;
        b.framing = TsaBehaviour::Framing::OtherType;
        b.frameType = 2;
        cases.push_back(
            {"other type", b, "Chyba vrácená TTI knihovnou\n\nNeočekávaná zpráva TSA 2"});
    }
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Behave(c.behaviour);
        m_boxes.shown.clear();
        Bytes reply;
        EXPECT_EQ(Request(reply), 0);
        ASSERT_EQ(m_boxes.shown.size(), 1U);
        EXPECT_EQ(m_boxes.shown[0].text, c.text);
        EXPECT_EQ(m_boxes.shown[0].icon, MsgIcon::Error);
    }
}

TEST_F(TimeStampExchangeTest, AFrameLengthThatDisagreesNamesBothLengths) {
    TsaBehaviour behaviour;
    behaviour.framing = TsaBehaviour::Framing::FinalMessage;
    behaviour.frameLengthDelta = 10;
    Behave(behaviour);
    Bytes reply;
    EXPECT_EQ(Request(reply), 0);
    ASSERT_EQ(m_boxes.shown.size(), 1U);
    // The frame's header claims 10 bytes more than came.
    const std::string& text = m_boxes.shown[0].text;
    const std::string head = "Chyba vrácená TTI knihovnou\n\nNesouhlasí velikost přijatých dat (";
    ASSERT_EQ(text.rfind(head, 0), 0U) << text;
    unsigned received = 0, expected = 0;
    ASSERT_EQ(std::sscanf(text.c_str() + head.size(), "%u bajtů přijato, %u bajtů očekáváno)",
                          &received, &expected),
              2)
        << text;
    EXPECT_EQ(expected, received + 10);
}

TEST_F(TimeStampExchangeTest, ConnectionFailuresShowTheLastErrorsText) {
    GetClientSettings().m_strServerUrl = "ftp://127.0.0.1/tsa";
    Bytes reply;
    EXPECT_EQ(Request(reply), 0);
    ASSERT_EQ(m_boxes.shown.size(), 1U);
    EXPECT_EQ(m_boxes.shown[0].text,
              "Chyba při připojení k serveru \n\n0x00002EE6 (12006):  Protokol v adrese URL nebyl "
              "rozpoznán nebo není podporován (ftp)");
    EXPECT_EQ(m_tsa.RequestCount(), 0U);
}

TEST_F(TimeStampExchangeTest, ARecordTheLibraryCannotEncodeIsNeverSent) {
    EncodedRequest request = MakeEncodedRequest();
    request.record.nSize = 439;
    unsigned char reply[64];
    int length = sizeof reply;
    EXPECT_EQ(RequestTimeStamp(request.record, reply, length), 0);
    ASSERT_EQ(m_boxes.shown.size(), 1U);
    EXPECT_EQ(m_boxes.shown[0].text,
              "Chyba vrácená TTI knihovnou\n\nTTI_EncodeTimestampRequest předán neplatný parametr");
    EXPECT_EQ(m_tsa.ConnectionCount(), 0U);
}

TEST_F(TimeStampExchangeTest, ARefusalOrATamperedTokenPassesTheFramingCheck) {
    // The exchange only frames; what the reply says is checked later.
    TsaBehaviour behaviour;
    StatusSpec refusal;
    refusal.status = 2;
    refusal.text = {"policy not accepted"};
    refusal.failInfo = 1U << 15;
    behaviour.refusal = refusal;
    Behave(behaviour);
    Bytes reply;
    ASSERT_EQ(Request(reply), 1);
    TTI_STATUS status{};
    ASSERT_EQ(TTI_GetTSR_Status(&status, reply.data(), static_cast<int>(reply.size())), TTI_OK);
    EXPECT_EQ(status.nStatus, 2);
    EXPECT_STREQ(status.szStatusText, "policy not accepted");
    EXPECT_EQ(status.nFailInfo, 1 << 15);
}
