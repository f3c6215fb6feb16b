// request and post: make a time-stamp request from a file, and post one to the TSA.
#include "cli/CliCommands.h"
#include "cli/CliConnectionPrompts.h"
#include "cli/CliFrontEnd.h"

#include "core/ClientSettings.h"
#include "core/TimeStampExchange.h"
#include "core/TimeStampRequest.h"
#include "core/tti/tti.h"
#include "platform/LastError.h"
#include "support/ErrorText.h"
#include "support/Messages.h"
#include "support/StringIds.h"
#include "support/SupportFunctions.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// Counts the boxes shown while it is installed and passes them on.
class CountingMessageBoxes final : public IMessageBoxes {
public:
    CountingMessageBoxes() : m_previous(SetMessageBoxes(this)) {}
    ~CountingMessageBoxes() override { SetMessageBoxes(m_previous); }
    CountingMessageBoxes(const CountingMessageBoxes&) = delete;
    CountingMessageBoxes& operator=(const CountingMessageBoxes&) = delete;

    MsgResult Show(const std::string& text, const std::string& caption, MsgButtons buttons,
                   MsgIcon icon) override {
        ++m_nCount;
        SetMessageBoxes(m_previous);
        const MsgResult result = MessageBoxes().Show(text, caption, buttons, icon);
        SetMessageBoxes(this);
        return result;
    }
    int Count() const { return m_nCount; }

private:
    IMessageBoxes* m_previous;
    int m_nCount = 0;
};

} // namespace

int CmdRequest(const CliArgs& args) {
    const std::string& file = args.plain[0];
    if (file.empty())
        return MissingArgumentError(args);
    int hash = -1;
    if (!HashCodeOption(args, hash))
        return UsageError(FormatRes(IDS_CLI_BAD_HASH_CODE, args.Value(kOptHash)));
    const std::string out = args.Has(kOptRequestOut) ? args.Value(kOptRequestOut) : file + ".tsq";

    const CClientSettings& settings = LoadCliSettings(args.Value(kOptIni));
    const std::string policy =
        args.Has(kOptPolicy) ? args.Value(kOptPolicy) : settings.m_strRequestPolicyOid;
    if (hash < 0)
        hash = settings.m_nHashAlg;

    TTI_REQUEST request;
    const int digest = BuildTimeStampRequest(policy, hash, file, request);
    if (digest != RESULT_OK) {
        std::string text;
        if (ResultCodeText(digest, text))
            ErrorBox(FormatText(text, file));
        else
            ErrorBox(file);
        return EXIT_FAILED;
    }
    unsigned char encoded[kEncodedRequestLimit];
    int length = kEncodedRequestLimit;
    const int code = TTI_EncodeTimestampRequest(&request, encoded, &length, 0);
    if (code != TTI_OK) {
        ErrorBoxF(IDS_TTI_ENCODE_FAILED, TtiErrorText(code));
        return EXIT_FAILED;
    }
    return CZarnDoc::WriteStampFile(out, encoded, static_cast<std::size_t>(length)) ? EXIT_OK
                                                                                    : EXIT_FAILED;
}

int CmdPost(const CliArgs& args) {
    const std::string& file = args.plain[0];
    if (file.empty())
        return MissingArgumentError(args);
    const std::string out = args.Value(kOptReplyOut);

    std::vector<unsigned char> request;
    if (!ReadWholeFile(file, request)) {
        ErrorBoxWithSystemErrorF(IDS_STAMP_FILE_READ_ERROR, file);
        return EXIT_FAILED;
    }
    if (request.empty() || request.size() > static_cast<std::size_t>(kEncodedRequestLimit)) {
        SetLastError(request.empty() ? 0 : EFBIG);
        ErrorBoxWithSystemErrorF(IDS_STAMP_FILE_READ_ERROR, file);
        return EXIT_FAILED;
    }

    CClientSettings& settings = LoadCliSettings(args.Value(kOptIni));
    if (args.Has(kOptUrl))
        settings.m_strServerUrl = args.Value(kOptUrl);

    std::vector<unsigned char> reply(kReplyBufferSize);
    int length = kReplyBufferSize;
    CountingMessageBoxes boxes;
    CliConnectionPrompts prompts(UserOption(args));
    if (PostTimeStampRequest(request.data(), static_cast<int>(request.size()), settings,
                             reply.data(), length) != 1) {
        if (boxes.Count() == 0)
            ErrorBox(LoadResString(IDS_TTI_UNKNOWN));
        return EXIT_FAILED;
    }
    return CZarnDoc::WriteStampFile(out, reply.data(), static_cast<std::size_t>(length))
               ? EXIT_OK
               : EXIT_FAILED;
}
