// The one document: the stamp the window shows, with its detail texts, and the stamp
// commands (new, open, verify, delete from the list). It is not a file: the stamped files
// live in the registry, and the document only knows which entry it shows. Every change of
// the registry is written at once; the modified flag means one thing: a change could not be
// written yet.
//
// Its methods live in ZarnDoc.cpp (commands, the shown entry, the list, the save point),
// Workflows.cpp (the new-stamp, open and verify workflows and the stamp files),
// BatchStamping.cpp (many files, folders and dropped paths at once) and
// TrustWorkflow.cpp (the verdicts of the shown stamp, trusting its authority); the detail
// texts are read through the table of DetailFields.h.
#pragma once

#include "core/HashAlgorithms.h"
#include "core/StampVerdicts.h"
#include "core/TimeStampPart.h"
#include "document/DocView.h"
#include "document/LongWork.h"
#include "document/RowVerdict.h"
#include "document/StampListPanel.h"
#include "list/StampList.h"

#include <cstdint>
#include <semaphore>
#include <string>
#include <string_view>
#include <vector>

class IFrontEnd;

class CZarnDoc : public CDocument, public CTimeStampPart, public IStampDocument {
public:
    // `list` is the process-wide registry; the application owns it.
    explicit CZarnDoc(CStampList& list);
    ~CZarnDoc() override;

    // The front end the document talks to; null: no main window, no dialogs.
    void SetFrontEnd(IFrontEnd* frontEnd) { m_pFrontEnd = frontEnd; }
    IFrontEnd* FrontEnd() const { return m_pFrontEnd; }
    // Reports the hashing of a large file while a new stamp is made (the command line).
    void SetDigestProgress(DigestProgress progress) { m_digestProgress = std::move(progress); }

    // ---- Framework overrides -------------------------------------------------------------

    // The stamp commands: new, open, delete from the list, verify.
    bool OnCommand(unsigned id) override;
    [[nodiscard]] bool OnNewDocument() override;
    // A path handed over: a stamp file (".tsr"/".tst", exact case) goes to the verification
    // dialog, any other file is stamped at once.
    [[nodiscard]] bool OnOpenDocument(const char* path) override;
    // The save point: writes the registry changes that could not be written before. When
    // that fails and the user does not try again, asks whether to close all the same:
    // false keeps the window.
    bool SaveModified() override;

    // ---- Operations for the view and the list panel ---------------------------------------

    // The text published under `name`: a detail field (document/DetailFields.h), or the
    // stamp path or source path of the shown entry; "" for any other name.
    std::string GetFieldValue(std::string_view name) const;
    // The text of the detail field DetailFields()[index].
    const std::string& DetailText(std::size_t index) const { return m_detailTexts.at(index); }
    void ShowEntry(int index) override;
    // Removes entry `index` from the registry and from the stored list (only that entry:
    // what other processes changed meanwhile stays), then has the panel's rows follow.
    [[nodiscard]] int RemoveEntry(int index) override;
    // Adds or replaces the registry entry and stores the change at once; the panel's rows
    // follow the merged list and the entry's row is chosen, which shows it. A failed write
    // says so and offers to try again; what is not written marks the document modified.
    void AddToList(const CStampListEntry& entry);
    // The stored list changed on disk: the registry reads it again (keeping what is not
    // yet written) and the panel follows, the shown entry staying selected.
    void ReloadList();
    // Some change of the registry is not in the INI file yet.
    bool HasUnsavedListChanges() const { return m_list.HasPendingChanges(); }
    // Checks the entry's stamp against its source file and fills every detail text.
    void LoadEntry(CStampListEntry entry);
    // Empties the shown stamp: part reset, current entry and detail texts empty.
    void ClearDisplay();

    // ---- Verdicts (TrustWorkflow.cpp) ------------------------------------------------------

    // The verdicts of the shown stamp, judged when it was shown, once the stamp itself passed
    // its checks (its source file may still not match).
    const StampVerdicts& Verdicts() const { return m_verdicts; }
    // The verdicts of the stamp that the verify workflow checked last (nothing judged when
    // its checks failed).
    const StampVerdicts& LastVerification() const { return m_lastVerification; }
    // The shown entry's badge for its list row; nullopt while no stamp is shown.
    std::optional<RowVerdict> ShownEntryVerdict() const override;
    // Trusting the shown stamp's authority on purpose: asks, naming the top of its chain
    // with its fingerprint, and on yes copies that certificate into the user's trust folder
    // and the signer's into the address book, then shows the stamp judged anew. True when
    // the certificate was added.
    bool TrustShownAuthority();
    // Shows the shown stamp anew, judged again (the anchors or the lists changed): through
    // its row when it is listed, so that the row's badge follows. Nothing when none is shown.
    void JudgeShownEntryAgain();

    int GetCurrentEntryIndex() const { return m_nCurrentEntry; }
    CStampList& Registry() { return m_list; }

    // ---- Commands and workflows ----------------------------------------------------------

    void OnFileNew();
    // Requests a stamp for `sourcePath`, checks it, writes the stamp file beside the source
    // and lists it. Non-zero when the stamp file was written and listed.
    [[nodiscard]] int CreateStamp(const std::string& sourcePath);
    // Stamps the files one after another behind one progress dialog ("Soubor 2 z 5: …");
    // "Storno" stops after the current file. No box per failure: one summary at the end
    // lists the files that failed with their reasons. Answers how many were stamped.
    int CreateStamps(const std::vector<std::string>& sources);
    // Asks whether to stamp the folder's regular files (not its subfolders, not the stamps
    // already in it) and stamps them as CreateStamps does. Answers how many were stamped.
    int StampFolder(const std::string& folder);
    // The files StampFolder would stamp, sorted by path.
    std::vector<std::string> FilesToStampIn(const std::string& folder) const;
    // Paths handed over together (dropped on the window, named on the command line): one
    // file alone as OnOpenDocument; otherwise the plain files stamped together, each folder
    // asked about and stamped, and each stamp file opened for verification afterwards.
    // False only when a single file's workflow failed.
    [[nodiscard]] bool OpenPaths(const std::vector<std::string>& paths);
    // Checks a fresh reply against its request and writes the whole reply (saveWholeReply
    // non-zero) or the token to `stampPath`. Non-zero when it passed and was written whole.
    [[nodiscard]] int CheckAndStoreReply(const TTI_REQUEST& request,
                                         const std::vector<unsigned char>& reply,
                                         const std::string& stampPath, int saveWholeReply);
    // Writes `data` as the file `path`. The old file, if any, is replaced only once the new
    // content is completely on disk: a failed write never destroys an earlier stamp.
    [[nodiscard]] static bool WriteStampFile(const std::string& path, const unsigned char* data,
                                             std::size_t length);

    void OnFileOpen();
    void OnVerify();
    // The verification dialog for `stampPath` (source guessed from it), then the entry is
    // listed or only checked. 1 when the dialog was confirmed; 0 when it was cancelled or
    // the workflow is already running.
    [[nodiscard]] int OpenStamp(const std::string& stampPath, bool addToList);
    // The source path that a stamp path suggests: the text before the last occurrence of the
    // first stamp extension that occurs in it; "" when none does.
    std::string GuessSourcePath(const std::string& stampPath) const;
    // The path ends in one of the stamp extensions (exact case).
    bool IsStampFilePath(const std::string& path) const;

    void OnDeleteFromList();

    // The main window's list panel; null without a main window.
    IStampListPanel* ListPanel() const;
    bool HasMainWindow() const;

private:
    // Long work through the front end (in place without one).
    LongWorkOutcome RunLongWork(const LongWork& work, LongWorkStop stop);
    struct ExchangeResult {
        bool received = false;  // a reply is in the buffer
        bool stopAsked = false; // the user asked to stop (the batch ends after this file)
    };
    // Hashes the source and asks the TSA, as long work whose progress lines start with
    // `heading`. A failure has been shown (or, in a batch, gathered); a stop shows nothing.
    ExchangeResult ExchangeForStamp(const std::string& sourcePath, const std::string& heading,
                                    LongWorkStop stop, TTI_REQUEST& request,
                                    std::vector<unsigned char>& reply);
    struct StampFileResult {
        int stamped = 0; // the stamp file was written and listed
        bool stopAsked = false;
    };
    enum class SourceCheck { Match, Mismatch, Stopped };
    // part.VerifySourceFile; a large source is hashed as long work, which the user may stop.
    SourceCheck CheckSourceFile(CTimeStampPart& part, const std::string& stampPath,
                                const std::string& sourcePath);
    // The new-stamp workflow for one file.
    StampFileResult StampOneFile(const std::string& sourcePath, const std::string& heading,
                                 LongWorkStop stop);
    // Judges the shown stamp, when it passed its checks, with the options of the settings.
    void JudgeShownStamp();
    // Judges the stamp that `part` verified; what the verification's box adds.
    std::string JudgeVerification(const CTimeStampPart& part);
    // The shown entry as the registry lists it: its stamp path and which of the entries
    // with that path it is. Indices move when the list follows the file; this does not.
    struct EntryKey {
        std::string path;
        int occurrence = 0;
        bool valid = false;
    };
    EntryKey CurrentKey() const;
    // Finds the shown entry again after the registry changed as a whole.
    void FollowCurrentEntry(const EntryKey& key);
    // Stores a change; on failure offers to try again as long as the user wants to.
    bool StoreListChange(const CStampListChange& change);
    // Asks whether to try the failed write again (the error of the write is the last error).
    bool OfferRetry() const;

    std::binary_semaphore m_semBusy{1};
    bool m_bInLongWork = false;    // long work runs behind its dialog
    bool m_bReloadWaiting = false; // the stored list changed meanwhile
    StampVerdicts m_verdicts;
    StampVerdicts m_lastVerification;
    // The texts of the detail fields, in DetailFields() order.
    std::vector<std::string> m_detailTexts;
    std::vector<std::string> m_stampExtensions;
    int m_nCurrentEntry = -1;
    CStampListEntry m_currentEntry;
    CStampList& m_list;
    IFrontEnd* m_pFrontEnd = nullptr;
    DigestProgress m_digestProgress;
};

// The reply buffer of a new stamp. Larger than a reply's usual size, because a TSA that
// sends its certificate chain easily passes 8 KiB and such a stamp is as good as any.
inline constexpr int kReplyBufferSize = 64 * 1024;

// A source file at least this large is hashed behind a progress dialog when a stamp is
// checked against it (below it, the check is over before a dialog could be read).
inline constexpr std::uintmax_t kLongSourceBytes = 16 * 1024 * 1024;
