// The stamp commands: a new stamp for a chosen file, and opening or verifying a stamp file.
#include "document/ZarnDoc.h"

#include "core/ClientSettings.h"
#include "core/TimeStampExchange.h"
#include "core/TimeStampRequest.h"
#include "document/IFrontEnd.h"
#include "platform/AtomicFile.h"
#include "support/ErrorText.h"
#include "support/Messages.h"
#include "support/StringIds.h"
#include "support/SupportFunctions.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <utility>

// ---- New stamp ----------------------------------------------------------------------------

void CZarnDoc::OnFileNew() {
    CClientSettings& settings = GetClientSettings();
    if (settings.GetServerUrl().empty() || settings.GetRequestPolicyOid().empty()) {
        MessageBoxes().Show(LoadResString(IDS_SET_PARAMETERS), LoadResString(IDS_APP_TITLE),
                            MsgButtons::Ok, MsgIcon::None);
        if (CView* view = FirstView())
            view->OnCommand(ID_SETTINGS);
        return;
    }
    if (!HasMainWindow())
        return;
    const std::vector<std::string> paths = m_pFrontEnd->ChooseFiles(
        {LoadResString(IDS_SELECT_SOURCE_TITLE), LoadResString(IDS_FILTER_ALL_FILES),
         LoadResString(IDS_FILTER_ALL_FILES_PATTERN)});
    std::vector<std::string> sources;
    for (const std::string& path : paths)
        sources.push_back(AbsolutePath(path));
    // The workflow has shown whatever went wrong; a command has nothing more to tell.
    if (sources.size() == 1)
        (void)CreateStamp(sources.front());
    else if (!sources.empty())
        (void)CreateStamps(sources);
}

LongWorkOutcome CZarnDoc::RunLongWork(const LongWork& work, LongWorkStop stop) {
    const bool nested = std::exchange(m_bInLongWork, true);
    const LongWorkOutcome outcome =
        m_pFrontEnd != nullptr ? m_pFrontEnd->RunLongWork(work, stop) : RunLongWorkInPlace(work);
    m_bInLongWork = nested;
    if (!nested && std::exchange(m_bReloadWaiting, false))
        ReloadList();
    return outcome;
}

CZarnDoc::SourceCheck CZarnDoc::CheckSourceFile(CTimeStampPart& part, const std::string& stampPath,
                                                const std::string& sourcePath) {
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(sourcePath, error);
    if (error || size < kLongSourceBytes)
        return part.VerifySourceFile(stampPath, sourcePath) != 0 ? SourceCheck::Match
                                                                 : SourceCheck::Mismatch;
    bool matches = false;
    const LongWorkOutcome outcome = RunLongWork(
        [&](ILongWorkProgress& progress) {
            progress.Report(FormatRes(IDS_PROGRESS_HASHING, sourcePath), -1);
            matches = part.VerifySourceFile(stampPath, sourcePath) != 0;
        },
        LongWorkStop::Abort);
    if (!outcome.completed)
        return SourceCheck::Stopped;
    return matches ? SourceCheck::Match : SourceCheck::Mismatch;
}

CZarnDoc::ExchangeResult CZarnDoc::ExchangeForStamp(const std::string& sourcePath,
                                                    const std::string& heading, LongWorkStop stop,
                                                    TTI_REQUEST& request,
                                                    std::vector<unsigned char>& reply) {
    CClientSettings& settings = GetClientSettings();
    const std::string policy = settings.GetRequestPolicyOid();
    const std::string server = settings.GetServerUrl();
    const int hashAlg = settings.m_nHashAlg;
    int digest = RESULT_OK;
    bool received = false;
    // Only the hashing and the exchange run as long work; they touch nothing of ours.
    const LongWorkOutcome outcome = RunLongWork(
        [&](ILongWorkProgress& progress) {
            const std::string hashing = heading + FormatRes(IDS_PROGRESS_HASHING, sourcePath);
            progress.Report(hashing, 0);
            const DigestProgress onBlock = [&](std::uint64_t done, std::uint64_t total) {
                if (m_digestProgress)
                    m_digestProgress(done, total);
                progress.Report(hashing, total > 0 ? static_cast<int>(done * 100 / total) : 100);
            };
            digest = BuildTimeStampRequest(policy, hashAlg, sourcePath, request, onBlock);
            if (digest != RESULT_OK)
                return;
            progress.Report(heading + FormatRes(IDS_PROGRESS_WAITING, server), -1);
            reply.assign(kReplyBufferSize, 0);
            int replyLength = kReplyBufferSize;
            received = RequestTimeStamp(request, reply.data(), replyLength) != 0;
            reply.resize(received ? static_cast<std::size_t>(replyLength) : 0);
        },
        stop);
    ExchangeResult result;
    result.stopAsked = outcome.stopAsked;
    // Stopped: nothing is written and nothing more is said.
    if (!outcome.completed || digest == RESULT_E_CANCELLED)
        return result;
    if (digest != RESULT_OK) {
        std::string text;
        if (ResultCodeText(digest, text))
            ErrorBox(FormatText(text, sourcePath));
        return result;
    }
    result.received = received;
    return result;
}

int CZarnDoc::CreateStamp(const std::string& sourcePath) {
    return StampOneFile(sourcePath, "", LongWorkStop::Abort).stamped;
}

CZarnDoc::StampFileResult CZarnDoc::StampOneFile(const std::string& sourcePath,
                                                 const std::string& heading, LongWorkStop stop) {
    TTI_REQUEST request;
    std::vector<unsigned char> reply;
    const ExchangeResult exchanged = ExchangeForStamp(sourcePath, heading, stop, request, reply);
    StampFileResult result;
    result.stopAsked = exchanged.stopAsked;
    if (!exchanged.received)
        return result;
    const int saveWholeReply = GetClientSettings().m_nSaveTsr;
    const std::string stampPath = sourcePath + m_stampExtensions[saveWholeReply != 0 ? 0 : 1];
    result.stamped = CheckAndStoreReply(request, reply, stampPath, saveWholeReply);
    if (result.stamped != 0)
        AddToList(CStampListEntry{stampPath, sourcePath, ""});
    return result;
}

int CZarnDoc::CheckAndStoreReply(const TTI_REQUEST& request,
                                 const std::vector<unsigned char>& reply,
                                 const std::string& stampPath, int saveWholeReply) {
    CTimeStampPart part;
    part.Reset();
    std::vector<unsigned char> token;
    if (!part.CheckFreshReply(request, reply, token)) {
        ErrorBox(part.ErrorText());
        return 0;
    }
    const std::vector<unsigned char>& data = saveWholeReply != 0 ? reply : token;
    return WriteStampFile(stampPath, data.data(), data.size()) ? 1 : 0;
}

bool CZarnDoc::WriteStampFile(const std::string& path, const unsigned char* data,
                              std::size_t length) {
    // The stamp is replaced only once the new content is complete and on disk: an earlier
    // stamp of the same name survives any failure, and no half-written stamp is ever left
    // under the stamp's name.
    AtomicWriteFailure failure;
    if (WriteFileAtomically(path, {data, length}, FileMode::Document, &failure))
        return true;
    switch (failure.step) {
    case AtomicWriteStep::Write:
        if (failure.written > 0) {
            // The disk or a size limit stopped the write part-way.
            ErrorBoxF(IDS_SHORT_WRITE, path,
                      static_cast<int>(std::min<std::size_t>(length, INT_MAX)),
                      static_cast<unsigned>(failure.written));
            return false;
        }
        ErrorBoxWithSystemErrorF(IDS_WRITE_ERROR, path);
        return false;
    case AtomicWriteStep::Flush:
        ErrorBoxWithSystemErrorF(IDS_WRITE_ERROR, path);
        return false;
    case AtomicWriteStep::None:
    case AtomicWriteStep::Create:
    case AtomicWriteStep::Replace:
        break;
    }
    ErrorBoxWithSystemErrorF(IDS_CANNOT_CREATE_FILE, path);
    return false;
}

// ---- Open and verify ----------------------------------------------------------------------

void CZarnDoc::OnFileOpen() {
    if (!HasMainWindow())
        return;
    const auto path = m_pFrontEnd->ChooseFile({LoadResString(IDS_OPEN_STAMP_TITLE),
                                               LoadResString(IDS_FILTER_STAMP_FILES),
                                               LoadResString(IDS_FILTER_STAMP_FILES_PATTERN)});
    if (path)
        (void)OpenStamp(AbsolutePath(*path), true); // the workflow shows its own outcome
}

void CZarnDoc::OnVerify() {
    (void)OpenStamp("", false); // the workflow shows its own outcome
}

bool CZarnDoc::IsStampFilePath(const std::string& path) const {
    for (const auto& extension : m_stampExtensions) {
        const auto at = path.rfind(extension);
        if (at != std::string::npos && path.compare(at, std::string::npos, extension) == 0)
            return true;
    }
    return false;
}

std::string CZarnDoc::GuessSourcePath(const std::string& stampPath) const {
    for (const auto& extension : m_stampExtensions) {
        const auto at = stampPath.rfind(extension);
        if (at != std::string::npos)
            return stampPath.substr(0, at);
    }
    return {};
}

bool CZarnDoc::OnOpenDocument(const char* path) {
    if (path == nullptr)
        return false;
    const std::string absolute = AbsolutePath(path);
    if (IsStampFilePath(absolute))
        return OpenStamp(absolute, true) != 0;
    return CreateStamp(absolute) != 0;
}

int CZarnDoc::OpenStamp(const std::string& stampPath, bool addToList) {
    if (!m_semBusy.try_acquire())
        return 0; // already running, e.g. a path handed over while the dialog is open

    VerifyDialogValues values{stampPath, GuessSourcePath(stampPath), addToList};
    int result = 0;
    if (m_pFrontEnd != nullptr && m_pFrontEnd->RunVerifyDialog(values)) {
        // Typed names are taken against the current folder, as the command line's are.
        const CStampListEntry entry{AbsolutePath(values.m_strStampFile),
                                    AbsolutePath(values.m_strSourceFile), ""};
        if (values.m_bAddToList) {
            // The panel selects the row, which shows the stamp with the check's outcome.
            AddToList(entry);
        } else {
            const std::string caption = LoadResString(IDS_VERIFY_RESULT_CAPTION);
            CTimeStampPart part;
            m_lastVerification = {};
            const SourceCheck check =
                CheckSourceFile(part, entry.m_strStampFile, entry.m_strSourceFile);
            if (check == SourceCheck::Match) {
                // The check's outcome, then the verdicts on lines of their own.
                MessageBoxes().Show(LoadResString(IDS_STAMP_OK) + "\n" + JudgeVerification(part),
                                    caption, MsgButtons::Ok, MsgIcon::Information);
            } else if (check == SourceCheck::Mismatch) {
                MessageBoxes().Show(LoadResString(IDS_DIGEST_MISMATCH) + "\n\n" + part.ErrorText(),
                                    caption, MsgButtons::Ok, MsgIcon::Error);
            }
        }
        result = 1;
    }
    m_semBusy.release();
    return result;
}
