// Stamping as long work and many files at once, headless: what the progress shows, what a
// stop leaves behind, and the one summary of a batch.
#include "DocFixture.h"

#include <sys/stat.h>

#include <filesystem>

using namespace doc_test;
namespace fs = std::filesystem;

namespace {

class BatchStampTest : public DocFixture {};

TEST_F(BatchStampTest, ProgressTellsHashingThenWaitingForTheServer) {
    const std::string source = dir.Write("a.txt", std::string(3 << 20, 'x'));
    ASSERT_EQ(doc->CreateStamp(source), 1);
    ASSERT_GE(front.reports.size(), 3U);
    EXPECT_EQ(front.reports.front(), std::make_pair("Počítám otisk souboru " + source + "…", 0));
    // Percentages of the hashing only grow and reach 100, then the wait cannot be counted.
    int last = 0;
    for (std::size_t i = 0; i + 1 < front.reports.size(); ++i) {
        EXPECT_EQ(front.reports[i].first, "Počítám otisk souboru " + source + "…");
        EXPECT_GE(front.reports[i].second, last);
        last = front.reports[i].second;
    }
    EXPECT_EQ(last, 100);
    EXPECT_EQ(front.reports.back(),
              std::make_pair("Čekám na odpověď serveru " + tsa.Url() + "…", -1));
}

TEST_F(BatchStampTest, StoppedStampWritesNothingAndSaysNothing) {
    const std::string source = dir.Write("a.txt", "smlouva");
    front.stopDuringWork = 1;
    EXPECT_EQ(doc->CreateStamp(source), 0);
    EXPECT_FALSE(fs::exists(source + ".tsr"));
    EXPECT_EQ(registry.GetCount(), 0);
    EXPECT_TRUE(boxes.shown.empty()) << boxes.shown.front().text;
    EXPECT_EQ(IniText().find("a.txt"), std::string::npos);
}

TEST_F(BatchStampTest, FailuresOfABatchAreGatheredIntoOneSummary) {
    const std::string good1 = dir.Write("jedna.txt", "1");
    const std::string missing = dir.Path() + "/není.txt";
    const std::string fifo = dir.Path() + "/roura";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string good2 = dir.Write("dva.txt", "2");

    EXPECT_EQ(doc->CreateStamps({good1, missing, fifo, good2}), 2);
    ASSERT_EQ(boxes.shown.size(), 1U);
    const std::string& summary = boxes.shown[0].text;
    const std::string head =
        "Orazítkováno souborů: 2 z 4.\n\nNepodařilo se orazítkovat:\n" + missing + ": ";
    EXPECT_EQ(summary.compare(0, head.size(), head), 0) << summary;
    // Each failure on one line, with the reason the single-file workflow gives.
    EXPECT_NE(summary.find("\n" + fifo + ": "), std::string::npos) << summary;
    EXPECT_EQ(std::count(summary.begin(), summary.end(), '\n'), 4) << summary;
    EXPECT_EQ(boxes.shown[0].icon, MsgIcon::Error);
    EXPECT_EQ(registry.GetCount(), 2);
    EXPECT_TRUE(fs::exists(good1 + ".tsr"));
    EXPECT_TRUE(fs::exists(good2 + ".tsr"));
    // The dialog counted the files.
    EXPECT_EQ(front.reports.front().first,
              "Soubor 1 z 4: " + good1 + "\nPočítám otisk souboru " + good1 + "…");
    EXPECT_EQ(front.reports.back().first,
              "Soubor 4 z 4: " + good2 + "\nČekám na odpověď serveru " + tsa.Url() + "…");
}

TEST_F(BatchStampTest, StornoInABatchStopsAfterTheCurrentFile) {
    std::vector<std::string> sources;
    for (const char* name : {"a.txt", "b.txt", "c.txt", "d.txt"})
        sources.push_back(dir.Write(name, name));
    front.stopDuringWork = 2;
    EXPECT_EQ(doc->CreateStamps(sources), 2);
    EXPECT_TRUE(fs::exists(sources[1] + ".tsr")); // the current file was finished
    EXPECT_FALSE(fs::exists(sources[2] + ".tsr"));
    EXPECT_FALSE(fs::exists(sources[3] + ".tsr"));
    ASSERT_EQ(boxes.shown.size(), 1U);
    EXPECT_EQ(boxes.shown[0].text, "Orazítkováno souborů: 2 z 4.\n\nOrazítkování bylo zastaveno; "
                                   "neorazítkovaných souborů zůstalo: 2.");
    EXPECT_EQ(boxes.shown[0].icon, MsgIcon::Information);
}

TEST_F(BatchStampTest, HandedOverPathsOneAloneAsBeforeSeveralTogether) {
    const std::string a = dir.Write("a.txt", "a");
    // One file alone: stamped as the single workflow does, no summary.
    EXPECT_TRUE(doc->OpenPaths({a}));
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_TRUE(fs::exists(a + ".tsr"));
    // Several: the plain files together, the stamp among them opened for verification.
    const std::string b = dir.Write("b.txt", "b");
    const std::string c = dir.Write("c.txt", "c");
    front.verifyAnswer = [](VerifyDialogValues&) {
        return false;
    };
    EXPECT_TRUE(doc->OpenPaths({b, a + ".tsr", c}));
    ASSERT_EQ(boxes.shown.size(), 1U);
    EXPECT_EQ(boxes.shown[0].text, "Orazítkováno souborů: 2 z 2.");
    ASSERT_EQ(front.verifyShown.size(), 1U);
    EXPECT_EQ(front.verifyShown[0].m_strStampFile, a + ".tsr");
    EXPECT_EQ(registry.GetCount(), 3);
}

} // namespace
