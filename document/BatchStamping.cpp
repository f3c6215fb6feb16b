// Many files stamped at once: one after another, one request each, behind one progress
// dialog that counts them; the boxes that the single-file workflow shows for a failure
// become lines of one summary at the end.
#include "document/ZarnDoc.h"

#include "document/IFrontEnd.h"
#include "support/Messages.h"
#include "support/StringIds.h"
#include "support/SupportFunctions.h"

#include <algorithm>
#include <filesystem>
#include <mutex>
#include <system_error>

namespace {

// The boxes of a batch: a box that only informs (a failure's error box) becomes the reason
// why the current file failed; a question still reaches the user through the boxes that
// were there before. The exchange may speak from its worker thread.
class BatchBoxes : public IMessageBoxes {
public:
    explicit BatchBoxes(IMessageBoxes& next) : m_next(next) {}

    MsgResult Show(const std::string& text, const std::string& caption, MsgButtons buttons,
                   MsgIcon icon) override {
        if (buttons != MsgButtons::Ok)
            return m_next.Show(text, caption, buttons, icon);
        const std::lock_guard lock(m_mutex);
        if (!m_reason.empty())
            m_reason += "; ";
        m_reason += OneLine(text);
        return MsgResult::Ok;
    }

    // The reasons gathered since the last call.
    std::string TakeReason() {
        const std::lock_guard lock(m_mutex);
        return std::exchange(m_reason, {});
    }

private:
    // A box's text on one line of the summary: its lines joined, blank lines dropped.
    static std::string OneLine(const std::string& text) {
        std::string line;
        bool pendingBreak = false;
        for (const char c : text) {
            if (c == '\n' || c == '\r') {
                pendingBreak = !line.empty();
                continue;
            }
            if (pendingBreak) {
                line += ' ';
                pendingBreak = false;
            }
            line += c;
        }
        return line;
    }

    IMessageBoxes& m_next;
    std::mutex m_mutex;
    std::string m_reason;
};

} // namespace

int CZarnDoc::CreateStamps(const std::vector<std::string>& sources) {
    if (sources.empty())
        return 0;
    BatchBoxes boxes(MessageBoxes());
    std::vector<std::pair<std::string, std::string>> failures;
    int stamped = 0;
    std::size_t dealtWith = 0;
    {
        const ScopedThreadMessageBoxes batchBoxes(&boxes);
        bool stop = false;
        for (std::size_t i = 0; i < sources.size() && !stop; ++i) {
            const std::string& source = sources[i];
            const std::string heading = FormatRes(IDS_BATCH_FILE, static_cast<int>(i + 1),
                                                  static_cast<int>(sources.size()), source) +
                                        "\n";
            const StampFileResult result =
                StampOneFile(source, heading, LongWorkStop::AfterCurrent);
            std::string reason = boxes.TakeReason();
            stop = result.stopAsked;
            if (result.stamped != 0) {
                ++stamped;
            } else if (stop && reason.empty()) {
                break; // stopped in the middle: this file was not dealt with
            } else {
                failures.emplace_back(source,
                                      reason.empty() ? LoadResString(IDS_BATCH_NO_REASON) : reason);
            }
            ++dealtWith;
        }
    }
    std::string summary = FormatRes(IDS_BATCH_SUMMARY, stamped, static_cast<int>(sources.size()));
    if (!failures.empty()) {
        summary += "\n\n" + LoadResString(IDS_BATCH_FAILED_HEADER);
        for (const auto& [source, reason] : failures)
            summary += "\n" + FormatRes(IDS_BATCH_FAILED_ITEM, source, reason);
    }
    if (dealtWith < sources.size())
        summary +=
            "\n\n" + FormatRes(IDS_BATCH_STOPPED, static_cast<int>(sources.size() - dealtWith));
    MessageBoxes().Show(summary, LoadResString(IDS_APP_TITLE), MsgButtons::Ok,
                        failures.empty() ? MsgIcon::Information : MsgIcon::Error);
    return stamped;
}

std::vector<std::string> CZarnDoc::FilesToStampIn(const std::string& folder) const {
    std::vector<std::string> files;
    std::error_code error;
    for (const auto& item : std::filesystem::directory_iterator(folder, error)) {
        std::error_code kindError;
        const std::string path = item.path().string();
        // Only the folder's own regular files; stamps already made are not stamped again.
        if (item.is_regular_file(kindError) && !IsStampFilePath(path))
            files.push_back(path);
    }
    std::sort(files.begin(), files.end());
    return files;
}

int CZarnDoc::StampFolder(const std::string& folder) {
    const std::vector<std::string> files = FilesToStampIn(folder);
    if (files.empty()) {
        MessageBoxes().Show(FormatRes(IDS_FOLDER_EMPTY, folder), LoadResString(IDS_APP_TITLE),
                            MsgButtons::Ok, MsgIcon::Information);
        return 0;
    }
    if (MessageBoxes().Show(FormatRes(IDS_FOLDER_QUESTION, static_cast<int>(files.size()), folder),
                            LoadResString(IDS_APP_TITLE), MsgButtons::YesNo,
                            MsgIcon::Question) != MsgResult::Yes)
        return 0;
    return CreateStamps(files);
}

bool CZarnDoc::OpenPaths(const std::vector<std::string>& paths) {
    std::vector<std::string> sources;
    std::vector<std::string> stamps;
    std::vector<std::string> folders;
    for (const std::string& path : paths) {
        const std::string absolute = AbsolutePath(path);
        std::error_code error;
        if (std::filesystem::is_directory(absolute, error))
            folders.push_back(absolute);
        else if (IsStampFilePath(absolute))
            stamps.push_back(absolute);
        else
            sources.push_back(absolute);
    }
    // One file alone is opened as it always was: a stamp verified, any other file stamped.
    if (paths.size() == 1 && folders.empty())
        return OnOpenDocument(paths.front().c_str());
    if (sources.size() == 1)
        (void)CreateStamp(sources.front());
    else if (!sources.empty())
        (void)CreateStamps(sources);
    for (const std::string& folder : folders)
        (void)StampFolder(folder);
    for (const std::string& stamp : stamps)
        (void)OpenStamp(stamp, true);
    return true;
}
