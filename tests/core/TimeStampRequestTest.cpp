#include "core/TimeStampRequest.h"

#include "support/ErrorText.h"
#include "testlib/TempDir.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

// Scripted random sources: each call takes the next step; a step that fails answers 0.
struct RandomStep {
    bool ok;
    unsigned char first; // the first byte handed out, the others are 0x5A
};
std::vector<RandomStep> g_steps;
std::size_t g_nextStep = 0;

int ScriptedRandom(unsigned char* bytes, int count) {
    if (g_nextStep >= g_steps.size())
        return 0;
    const RandomStep step = g_steps[g_nextStep++];
    if (!step.ok)
        return 0;
    std::memset(bytes, 0x5A, static_cast<std::size_t>(count));
    bytes[0] = step.first;
    return 1;
}

class ScriptedRandomSource {
public:
    explicit ScriptedRandomSource(std::vector<RandomStep> steps) {
        g_steps = std::move(steps);
        g_nextStep = 0;
        m_previous = SetNonceRandomSource(ScriptedRandom);
    }
    ~ScriptedRandomSource() { SetNonceRandomSource(m_previous); }
    ScriptedRandomSource(const ScriptedRandomSource&) = delete;
    ScriptedRandomSource& operator=(const ScriptedRandomSource&) = delete;

private:
    RandomSource m_previous = nullptr;
};

bool AllZero(const void* p, std::size_t n) {
    const auto* b = static_cast<const unsigned char*>(p);
    for (std::size_t i = 0; i < n; ++i)
        if (b[i] != 0)
            return false;
    return true;
}

} // namespace

TEST(TimeStampRequest, FillsEveryFieldOfTheRecord) {
    TempDir dir;
    const auto file = dir.Write("a.txt", "abc");
    TTI_REQUEST request;
    std::memset(&request, 0xAB, sizeof request); // the builder must zero it first
    ASSERT_EQ(BuildTimeStampRequest("1.2.3.4.1", 2, file, request), RESULT_OK);
    EXPECT_EQ(request.nSize, 440);
    EXPECT_EQ(request.bCertReq, 1);
    EXPECT_STREQ(request.szHashOid, "2.16.840.1.101.3.4.2.1");
    EXPECT_TRUE(AllZero(request.szHashOid + 23, sizeof request.szHashOid - 23));
    EXPECT_EQ(request.nDigestLen, 32);
    EXPECT_EQ(request.digest[0], 0xba);
    EXPECT_TRUE(AllZero(request.digest + 32, sizeof request.digest - 32));
    EXPECT_STREQ(request.szPolicyOid, "1.2.3.4.1");
    EXPECT_EQ(request.nNonceLen, 8);
    EXPECT_TRUE(AllZero(request.nonce + 8, sizeof request.nonce - 8));
}

TEST(TimeStampRequest, HashCodesMapToOidsWithSha1ForEverythingElse) {
    TempDir dir;
    const auto file = dir.Write("a.txt", "abc");
    struct {
        int code;
        const char* oid;
        int length;
    } const cases[] = {{0, "1.3.14.3.2.26", 20},          {1, "1.2.840.113549.2.5", 16},
                       {3, "2.16.840.1.101.3.4.2.2", 48}, {4, "2.16.840.1.101.3.4.2.3", 64},
                       {7, "1.3.14.3.2.26", 20},          {-2, "1.3.14.3.2.26", 20}};
    for (const auto& c : cases) {
        TTI_REQUEST request;
        ASSERT_EQ(BuildTimeStampRequest("1.2.3", c.code, file, request), RESULT_OK);
        EXPECT_STREQ(request.szHashOid, c.oid) << c.code;
        EXPECT_EQ(request.nDigestLen, c.length) << c.code;
    }
}

TEST(TimeStampRequest, EmptyPolicyLeavesTheFieldAllZero) {
    TempDir dir;
    TTI_REQUEST request;
    ASSERT_EQ(BuildTimeStampRequest("", 2, dir.Write("a", "x"), request), RESULT_OK);
    EXPECT_TRUE(AllZero(request.szPolicyOid, sizeof request.szPolicyOid));
}

TEST(TimeStampRequest, NoncesNeverRepeatWithinTheSameSecond) {
    std::set<std::vector<unsigned char>> seen;
    for (int i = 0; i < 1000; ++i) {
        TTI_REQUEST request{};
        ASSERT_TRUE(MakeNonce(request));
        ASSERT_EQ(request.nNonceLen, 8);
        ASSERT_NE(request.nonce[0], 0); // all 8 bytes survive the INTEGER encoding
        seen.emplace(request.nonce, request.nonce + 8);
    }
    EXPECT_EQ(seen.size(), 1000u);
}

TEST(TimeStampRequest, TooLongPolicyNeitherSpillsIntoTheNonceNorEncodes) {
    TempDir dir;
    TTI_REQUEST request;
    const std::string policy = "1.2." + std::string(200, '7');
    ASSERT_EQ(BuildTimeStampRequest(policy, 2, dir.Write("a", "x"), request), RESULT_OK);
    EXPECT_EQ(request.nNonceLen, 8);
    EXPECT_FALSE(AllZero(request.nonce, 8));
    unsigned char out[1024];
    int length = sizeof out;
    EXPECT_EQ(TTI_EncodeTimestampRequest(&request, out, &length, 0), TTI_E_INVALID_PARAMETER);
    // 127 characters still fit with their terminator.
    const std::string fits = "1.2." + std::string(123, '7');
    ASSERT_EQ(BuildTimeStampRequest(fits, 2, dir.Write("b", "x"), request), RESULT_OK);
    length = sizeof out;
    EXPECT_EQ(TTI_EncodeTimestampRequest(&request, out, &length, 0), TTI_OK);
}

TEST(TimeStampRequest, MissingFileGives304) {
    TTI_REQUEST request;
    EXPECT_EQ(BuildTimeStampRequest("1.2.3", 2, "/nonexistent/file", request),
              RESULT_E_READ_SOURCE);
}

TEST(TimeStampRequest, AFailingRandomSourceStopsTheRequestBeforeTheFileIsRead) {
    TempDir dir;
    const auto file = dir.Write("a.txt", "abc");
    // The first draw fails; or it gives a leading zero and the redraw of that byte fails.
    const std::vector<std::vector<RandomStep>> scripts = {{{false, 1}}, {{true, 0}, {false, 1}}};
    for (const auto& script : scripts) {
        ScriptedRandomSource source(script);
        TTI_REQUEST request;
        bool hashed = false;
        EXPECT_EQ(BuildTimeStampRequest("1.2.3", 2, file, request,
                                        [&](std::uint64_t, std::uint64_t) { hashed = true; }),
                  RESULT_E_STAMP);
        EXPECT_FALSE(hashed);
        EXPECT_EQ(request.nNonceLen, 0);
        EXPECT_TRUE(AllZero(request.nonce, sizeof request.nonce));
        EXPECT_EQ(request.nDigestLen, 0);
        EXPECT_EQ(g_nextStep, script.size());
    }
    // The workflows show the code's message like that of any other failed request.
    std::string text;
    EXPECT_TRUE(ResultCodeText(RESULT_E_STAMP, text));
    EXPECT_FALSE(text.empty());
}

TEST(TimeStampRequest, ALeadingZeroByteIsDrawnAgainUntilItIsNotZero) {
    ScriptedRandomSource source({{true, 0}, {true, 0}, {true, 0x17}});
    TTI_REQUEST request{};
    ASSERT_TRUE(MakeNonce(request));
    EXPECT_EQ(g_nextStep, 3u);
    const unsigned char expected[8] = {0x17, 0x5A, 0x5A, 0x5A, 0x5A, 0x5A, 0x5A, 0x5A};
    EXPECT_EQ(std::memcmp(request.nonce, expected, 8), 0);
    EXPECT_EQ(request.nNonceLen, 8);
}
