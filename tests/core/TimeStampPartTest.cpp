// The stamp part's life: construction, Reset, the certificate it owns, its error text.
#include "core/TimeStampPart.h"

#include "StampTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace stamp_test;
using mivo::test::TacSpec;
using mivo::test::TokenFactory;
using mivo::test::TokenSpec;

namespace {

template <class T> bool AllZero(const T& record) {
    const auto* p = reinterpret_cast<const unsigned char*>(&record);
    return std::all_of(p, p + sizeof record, [](unsigned char b) { return b == 0; });
}

void ExpectEmpty(const CTimeStampPart& part) {
    EXPECT_TRUE(part.Token().empty());
    EXPECT_TRUE(part.Tac().empty());
    EXPECT_TRUE(AllZero(part.Status()));
    EXPECT_TRUE(AllZero(part.TstInfo()));
    EXPECT_TRUE(AllZero(part.TimingMetrics()));
    EXPECT_TRUE(AllZero(part.TimingPolicy()));
    EXPECT_TRUE(AllZero(part.CertInfo()));
    EXPECT_FALSE(part.HasTstInfo());
    EXPECT_FALSE(part.HasTac());
    EXPECT_FALSE(part.SourceMatches());
    EXPECT_EQ(part.SignerCertificate(), nullptr);
    EXPECT_TRUE(part.SignerCertificateDer().empty());
    EXPECT_EQ(part.LastTtiCode(), 0);
}

class TimeStampPartTest : public ::testing::Test {
protected:
    TempDir m_dir;
    std::size_t m_alive = CertContextsAlive();
};

} // namespace

TEST_F(TimeStampPartTest, ResetEmptiesEverythingButTheErrorTextAndReleasesOnce) {
    CTimeStampPart part;
    ExpectEmpty(part);
    EXPECT_TRUE(part.ErrorText().empty());

    TokenSpec spec;
    spec.tac = TacSpec{};
    const std::string stamp = WriteBytes(m_dir, "s.tsr", TokenFactory::Reply(spec));
    ASSERT_EQ(part.ProcessStampFile(stamp), 1);
    ASSERT_TRUE(part.HasTac());
    EXPECT_EQ(CertContextsAlive(), m_alive + 1);

    part.Reset();
    ExpectEmpty(part);
    EXPECT_EQ(CertContextsAlive(), m_alive);
    part.Reset();
    ExpectEmpty(part);
    EXPECT_EQ(CertContextsAlive(), m_alive);
}

TEST_F(TimeStampPartTest, ErrorTextSurvivesResetUntilTheNextOperation) {
    CTimeStampPart part;
    EXPECT_EQ(part.ProcessStampFile(m_dir.File("missing.tsr")), 0);
    const std::string message = part.ErrorText();
    ASSERT_FALSE(message.empty());
    part.Reset();
    EXPECT_EQ(part.ErrorText(), message);

    ASSERT_EQ(part.ProcessStampFile(WriteBytes(m_dir, "s.tst", TokenFactory::Token())), 1);
    EXPECT_TRUE(part.ErrorText().empty());
}

TEST_F(TimeStampPartTest, DestructionReleasesTheCertificate) {
    {
        CTimeStampPart part;
        ASSERT_EQ(part.ProcessStampFile(WriteBytes(m_dir, "s.tst", TokenFactory::Token())), 1);
        EXPECT_EQ(CertContextsAlive(), m_alive + 1);
    }
    EXPECT_EQ(CertContextsAlive(), m_alive);
}

TEST_F(TimeStampPartTest, EmptyTokenIsNoSignatureAndNoMessage) {
    CTimeStampPart part;
    const unsigned char byte = 0x30;
    EXPECT_EQ(part.VerifyTokenSignature(nullptr, 10), 0);
    EXPECT_EQ(part.VerifyTokenSignature(&byte, 0), 0);
    EXPECT_EQ(part.VerifyTokenSignature(&byte, -1), 0);
    EXPECT_TRUE(part.ErrorText().empty());
}
