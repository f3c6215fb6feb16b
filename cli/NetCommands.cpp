// request and post: make a time-stamp request from a file, and post one to the TSA.
#include "cli/CliCommands.h"
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

bool IsOption(const std::string& arg) {
    return arg.size() > 1 && arg[0] == '-';
}

} // namespace

int CmdRequest(const Args& args) {
    std::string file, out, iniPath, policy;
    bool policyGiven = false;
    int hash = -1;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == "--hash") {
            if (!hasValue)
                return UsageError("--hash potřebuje kód algoritmu 0 až 4");
            const std::string& v = args[++i];
            if (v.size() != 1 || v[0] < '0' || v[0] > '4')
                return UsageError("neplatný kód algoritmu '" + v + "' (0 až 4)");
            hash = v[0] - '0';
        } else if (arg == "--policy") {
            if (!hasValue)
                return UsageError("--policy potřebuje OID politiky");
            policy = args[++i];
            policyGiven = true;
        } else if (arg == "-o") {
            if (!hasValue || args[i + 1].empty())
                return UsageError("-o potřebuje název výstupního souboru");
            out = args[++i];
        } else if (arg == "--ini") {
            if (!hasValue || args[i + 1].empty())
                return UsageError("--ini potřebuje cestu k souboru INI");
            iniPath = args[++i];
        } else if (file.empty() && !IsOption(arg) && !arg.empty()) {
            file = arg;
        } else {
            return UsageError("nečekaný argument '" + arg + "'");
        }
    }
    if (file.empty())
        return UsageError("chybí soubor");
    if (out.empty())
        out = file + ".tsq";

    const CClientSettings& settings = LoadCliSettings(iniPath);
    if (!policyGiven)
        policy = settings.m_strRequestPolicyOid;
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

int CmdPost(const Args& args) {
    std::string file, out, iniPath, url;
    bool urlGiven = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == "--url") {
            if (!hasValue || args[i + 1].empty())
                return UsageError("--url potřebuje adresu serveru");
            url = args[++i];
            urlGiven = true;
        } else if (arg == "-o") {
            if (!hasValue || args[i + 1].empty())
                return UsageError("-o potřebuje název souboru pro odpověď");
            out = args[++i];
        } else if (arg == "--ini") {
            if (!hasValue || args[i + 1].empty())
                return UsageError("--ini potřebuje cestu k souboru INI");
            iniPath = args[++i];
        } else if (file.empty() && !IsOption(arg) && !arg.empty()) {
            file = arg;
        } else {
            return UsageError("nečekaný argument '" + arg + "'");
        }
    }
    if (file.empty())
        return UsageError("chybí soubor s požadavkem");
    if (out.empty())
        return UsageError("chybí -o SOUBOR pro odpověď");

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

    CClientSettings& settings = LoadCliSettings(iniPath);
    if (urlGiven)
        settings.m_strServerUrl = url;

    std::vector<unsigned char> reply(kReplyBufferSize);
    int length = kReplyBufferSize;
    CountingMessageBoxes boxes;
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
