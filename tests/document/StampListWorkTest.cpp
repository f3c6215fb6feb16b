// The list's background work without a window: times read on workers end up exactly as the
// serial start-up load leaves them, a chosen row is read first and gets its time at once,
// and the status column follows stamp paths while the rows change under it.
#include "DocFixture.h"

#include "document/StampListWork.h"
#include "support/Messages.h"
#include "support/StringIds.h"

#include <chrono>
#include <condition_variable>
#include <fstream>
#include <mutex>

using namespace doc_test;

namespace {

// The workers' notice: counted, and held while the gate is shut so that a test can act
// while exactly one job is done and the next not yet taken.
class Gate {
public:
    void Notify() {
        std::unique_lock lock(m_mutex);
        ++m_notices;
        m_changed.notify_all();
        m_changed.wait(lock, [this] { return m_open; });
    }
    void Shut() {
        const std::lock_guard lock(m_mutex);
        m_open = false;
        m_shutAt = m_notices;
    }
    void Open() {
        {
            const std::lock_guard lock(m_mutex);
            m_open = true;
        }
        m_changed.notify_all();
    }
    // Waits (at most `wait`) until a notice came after `seen`; answers the count.
    int WaitPast(int seen, std::chrono::milliseconds wait = std::chrono::milliseconds(50)) {
        std::unique_lock lock(m_mutex);
        m_changed.wait_for(lock, wait, [&] { return m_notices > seen; });
        return m_notices;
    }
    // Waits until the first notice since the gate was shut, which the gate holds.
    void WaitHeld() {
        std::unique_lock lock(m_mutex);
        ASSERT_TRUE(m_changed.wait_for(lock, std::chrono::seconds(30),
                                       [this] { return m_notices > m_shutAt; }));
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_notices = 0;
    int m_shutAt = 0;
    bool m_open = true;
};

class StampListWorkTest : public DocFixture {
protected:
    // The section of the INI file, written as another program would, duplicates and all.
    void WriteList(const std::vector<CStampListEntry>& entries) {
        std::string text = "[time_stamped_files]\ncount=" + std::to_string(entries.size()) + "\n";
        for (std::size_t i = 0; i < entries.size(); ++i)
            text += "tsf_item" + std::to_string(i) + "=" + entries[i].m_strStampFile + "," +
                    entries[i].m_strSourceFile + "\n";
        std::ofstream(Settings().IniPath(), std::ios::trunc) << text;
    }
    CStampListEntry Stamped(const std::string& name, const std::string& content,
                            const std::string& genTime) {
        TokenSpec spec;
        spec.genTime = genTime;
        return {WriteToken(name + ".tsr", content, spec), dir.Write(name, content), {}};
    }
    // Delivers results until `done` holds (or a generous while has passed).
    template <class Done> void Pump(CStampListWork& work, Done done) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        int seen = 0;
        while (std::chrono::steady_clock::now() < end) {
            work.Deliver();
            if (done())
                return;
            seen = gate.WaitPast(seen);
        }
        FAIL() << "the background work did not finish";
    }
    std::unique_ptr<CStampListWork> MakeWork(unsigned threads) {
        return std::make_unique<CStampListWork>(
            registry, front.panel, [this] { gate.Notify(); }, threads);
    }

    Gate gate;
};

} // namespace

TEST_F(StampListWorkTest, TimesReadInTheBackgroundAreWhatTheSerialLoadGives) {
    const CStampListEntry a = Stamped("a.txt", "smlouva", "20250509115855Z");
    const CStampListEntry b = Stamped("b.txt", "dodatek", "20260101000000Z");
    const CStampListEntry missing{dir.File("gone.txt.tsr"), dir.File("gone.txt"), {}};
    const CStampListEntry invalid{dir.Write("bad.txt.tsr", "no stamp"), dir.File("bad.txt"), {}};
    CStampListEntry aElsewhere = a; // the same stamp listed twice, once with another source
    aElsewhere.m_strSourceFile = dir.File("copy.txt");
    WriteList({a, missing, b, invalid, aElsewhere, b});

    CStampList serial;
    serial.LoadAtStartup(Settings());
    ASSERT_EQ(serial.GetCount(), 6);
    ASSERT_FALSE(serial.GetAt(0).m_strUtcTime.empty());
    ASSERT_NE(serial.GetAt(0).m_strUtcTime, serial.GetAt(2).m_strUtcTime);

    registry.LoadWithoutTimes(Settings());
    front.panel.Resync(registry, -1, false);
    ASSERT_EQ(front.list.RowCount(), 6);
    for (const auto& row : front.list.rows)
        EXPECT_EQ(row.time, "");

    const auto work = MakeWork(2);
    work->ReadMissingTimes();
    Pump(*work, [&] { return !work->IsReadingTimes(); });
    for (int i = 0; i < 6; ++i) {
        const CStampListEntry& want = serial.GetAt(i);
        const CStampListEntry& got = registry.GetAt(i);
        EXPECT_EQ(got.m_strStampFile, want.m_strStampFile) << i;
        EXPECT_EQ(got.m_strSourceFile, want.m_strSourceFile) << i;
        EXPECT_EQ(got.m_strUtcTime, want.m_strUtcTime) << i;
        EXPECT_EQ(front.list.rows[static_cast<std::size_t>(i)].time, want.m_strUtcTime) << i;
    }
    EXPECT_EQ(work->Done(), 0u);
    EXPECT_EQ(work->Total(), 0u);
}

TEST_F(StampListWorkTest, AChosenRowIsReadFirstAndShowsItsTimeAtOnce) {
    std::vector<CStampListEntry> entries;
    for (int i = 0; i < 12; ++i)
        entries.push_back(Stamped("f" + std::to_string(i) + ".txt", "obsah " + std::to_string(i),
                                  "2025050911585" + std::to_string(i % 10) + "Z"));
    WriteList(entries);
    CStampList serial;
    serial.LoadAtStartup(Settings());
    registry.LoadWithoutTimes(Settings());
    front.panel.Resync(registry, -1, false);

    // One worker, held after its first stamp: every other row is still waiting.
    gate.Shut();
    const auto work = MakeWork(1);
    work->ReadMissingTimes();
    gate.WaitHeld();
    ASSERT_TRUE(front.list.SelectAndFocus(9));
    EXPECT_EQ(registry.GetAt(9).m_strUtcTime, serial.GetAt(9).m_strUtcTime);
    EXPECT_EQ(front.list.rows[9].time, serial.GetAt(9).m_strUtcTime);
    EXPECT_EQ(doc->GetCurrentEntryIndex(), 9);
    EXPECT_EQ(front.list.rows[10].time, "");

    ASSERT_TRUE(work->CheckAll());
    EXPECT_FALSE(work->CheckAll()) << "a second check while one runs does nothing";
    gate.Open();
    Pump(*work, [&] { return !work->IsReadingTimes() && !work->IsCheckingAll(); });
    for (int i = 0; i < 12; ++i) {
        EXPECT_EQ(registry.GetAt(i).m_strUtcTime, serial.GetAt(i).m_strUtcTime) << i;
        EXPECT_EQ(front.list.rows[static_cast<std::size_t>(i)].status,
                  LoadResString(IDS_ENTRY_STATUS_OK));
    }

    // The pool itself: with the worker held after its first job, the jobs of a path given
    // priority are the next ones taken, in their order; withdrawn jobs count as done.
    gate.Shut();
    CEntryWorkPool pool([this] { gate.Notify(); }, 1);
    std::vector<EntryJob> jobs;
    for (const CStampListEntry& entry : entries)
        jobs.push_back({EntryJob::Kind::Time, entry.m_strStampFile, {}});
    jobs.push_back({EntryJob::Kind::Check, entries[7].m_strStampFile, entries[7].m_strSourceFile});
    pool.Add(jobs);
    gate.WaitHeld();
    pool.Prioritize(entries[7].m_strStampFile);
    EXPECT_EQ(pool.Withdraw(EntryJob::Kind::Time, entries[11].m_strStampFile), 1);
    EXPECT_EQ(pool.AddedCount(), 13u);
    gate.Open();
    std::vector<EntryJobResult> results;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    int seen = 0;
    while (results.size() < 12 && std::chrono::steady_clock::now() < end) {
        for (EntryJobResult& result : pool.TakeResults())
            results.push_back(std::move(result));
        seen = gate.WaitPast(seen);
    }
    ASSERT_EQ(results.size(), 12u);
    EXPECT_EQ(results[0].job.stampFile, entries[0].m_strStampFile);
    EXPECT_EQ(results[1].job.stampFile, entries[7].m_strStampFile);
    EXPECT_EQ(results[1].job.kind, EntryJob::Kind::Time);
    EXPECT_EQ(results[2].job.stampFile, entries[7].m_strStampFile);
    EXPECT_EQ(results[2].job.kind, EntryJob::Kind::Check);
    EXPECT_EQ(results[2].status, EntryStatus::Ok);
    EXPECT_EQ(results[3].job.stampFile, entries[1].m_strStampFile);
    EXPECT_TRUE(results[1].timeRead);
    EXPECT_EQ(results[1].time, serial.GetAt(7).m_strUtcTime);
    EXPECT_EQ(pool.DoneCount(), 0u) << "idle once every result is taken";
}

TEST_F(StampListWorkTest, StatusesFollowTheStampPathWhileRowsChange) {
    const CStampListEntry ok = Stamped("ok.txt", "smlouva", "20250509115855Z");
    const CStampListEntry changed = Stamped("changed.txt", "smlouva", "20250509115855Z");
    const CStampListEntry noSource = Stamped("nosource.txt", "faktura", "20250509115855Z");
    const CStampListEntry noStamp{dir.File("nostamp.txt.tsr"), ok.m_strSourceFile, {}};
    const CStampListEntry invalid{dir.Write("bad.txt.tsr", "no stamp"), ok.m_strSourceFile, {}};
    CStampListEntry okElsewhere = ok; // the same stamp with a source that is not there
    okElsewhere.m_strSourceFile = dir.File("copy.txt");
    dir.Write("changed.txt", "smlouvA");
    std::remove(noSource.m_strSourceFile.c_str());
    WriteList({changed, ok, noSource, noStamp, invalid, okElsewhere});
    registry.LoadAtStartup(Settings());
    front.panel.Resync(registry, -1, false);

    gate.Shut();
    const auto work = MakeWork(1);
    ASSERT_TRUE(work->CheckAll());
    ASSERT_EQ(front.list.columns.size(), 3u);
    EXPECT_EQ(front.list.columns[2].first, LoadResString(IDS_COLUMN_STATUS));
    gate.WaitHeld();
    // While the first result waits: the first row goes, and another process lists a new
    // stamp in front of the rest.
    ASSERT_EQ(doc->RemoveEntry(0), 1);
    const CStampListEntry late = Stamped("late.txt", "pozdě", "20250509115855Z");
    std::vector<CStampListEntry> now(registry.Entries());
    now.insert(now.begin(), late);
    WriteList(now);
    doc->ReloadList();
    ASSERT_EQ(front.list.RowCount(), 6);
    gate.Open();
    Pump(*work, [&] { return !work->IsCheckingAll(); });

    const auto text = [](EntryStatus status) {
        return LoadResString(EntryStatusTextId(status));
    };
    EXPECT_EQ(front.list.rows[0].status, "") << "listed after the check started";
    EXPECT_EQ(front.list.rows[1].status, text(EntryStatus::Ok));
    EXPECT_EQ(front.list.rows[2].status, text(EntryStatus::SourceMissing));
    EXPECT_EQ(front.list.rows[3].status, text(EntryStatus::StampMissing));
    EXPECT_EQ(front.list.rows[4].status, text(EntryStatus::StampInvalid));
    EXPECT_EQ(front.list.rows[5].status, text(EntryStatus::SourceMissing));

    // Checked again: emptied first, then every row, the new one too.
    dir.Write("changed.txt", "smlouva");
    ASSERT_TRUE(work->CheckAll());
    EXPECT_EQ(front.list.rows[1].status, "");
    Pump(*work, [&] { return !work->IsCheckingAll(); });
    EXPECT_EQ(front.list.rows[0].status, text(EntryStatus::Ok));
    EXPECT_EQ(front.list.columns.size(), 3u);
}
