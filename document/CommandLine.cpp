#include "document/CommandLine.h"

#include "support/SupportFunctions.h"

#include <algorithm>
#include <cctype>

namespace {

bool EqualsNoCase(const std::string& a, const char* b) {
    const std::string_view other(b);
    return a.size() == other.size() &&
           std::equal(a.begin(), a.end(), other.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

} // namespace

void CCommandLineInfo::ParseParam(const std::string& param, bool flag, bool last) {
    if (flag)
        ParseParamFlag(param);
    else
        ParseParamNotFlag(param);
    ParseLast(last);
}

void CCommandLineInfo::ParseParamFlag(const std::string& flag) {
    if (flag == "pt")
        m_nShellCommand = FilePrintTo;
    else if (flag == "p")
        m_nShellCommand = FilePrint;
    else if (EqualsNoCase(flag, "Unregister") || EqualsNoCase(flag, "Unregserver"))
        m_nShellCommand = AppUnregister;
    else if (flag == "dde")
        m_nShellCommand = FileDDE;
    else if (EqualsNoCase(flag, "Embedding"))
        m_bRunEmbedded = true;
    else if (EqualsNoCase(flag, "Automation"))
        m_bRunAutomated = true;
    // Any other flag means nothing.
}

void CCommandLineInfo::ParseParamNotFlag(const std::string& param) {
    if (m_strFileName.empty())
        m_strFileName = param;
    else if (m_nShellCommand == FilePrintTo && m_strPrinterName.empty())
        m_strPrinterName = param;
    else if (m_nShellCommand == FilePrintTo && m_strDriverName.empty())
        m_strDriverName = param;
    else if (m_nShellCommand == FilePrintTo && m_strPortName.empty())
        m_strPortName = param;
    else if (m_nShellCommand == FileNew || m_nShellCommand == FileOpen)
        m_moreFileNames.push_back(param); // several files are stamped together
    // Further plain parameters of the print commands are ignored.
}

void CCommandLineInfo::ParseLast(bool last) {
    if (last && m_nShellCommand == FileNew && !m_strFileName.empty())
        m_nShellCommand = FileOpen;
}

bool SplitFlag(const std::string& token, std::string& param) {
    if (!token.empty() && token[0] == '-') {
        param = token.substr(1);
        return true;
    }
    // "/p" is a flag, "/home/x.tsr" and "/x.tsr" are paths.
    if (token.size() > 1 && token[0] == '/' && token.find_first_of("/.", 1) == std::string::npos) {
        param = token.substr(1);
        return true;
    }
    param = token;
    return false;
}

void ParseCommandLine(const std::vector<std::string>& params, CCommandLineInfo& info) {
    for (std::size_t i = 0; i < params.size(); ++i) {
        std::string param;
        const bool flag = SplitFlag(params[i], param);
        info.ParseParam(param, flag, i + 1 == params.size());
    }
}

std::vector<std::string> SplitHandOverCommandLine(std::string_view text) {
    std::vector<std::string> tokens;
    while (!text.empty()) {
        if (text.front() == ' ') {
            text.remove_prefix(1);
            continue;
        }
        char delimiter = ' ';
        if (text.front() == '"') {
            delimiter = '"';
            text.remove_prefix(1);
        }
        const std::size_t end = text.find(delimiter);
        const std::string_view token = text.substr(0, end);
        if (!token.empty())
            tokens.emplace_back(token);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    }
    return tokens;
}

std::optional<std::string> JoinCommandLine(const std::vector<std::string>& args) {
    std::string line;
    for (const std::string& arg : args) {
        const bool blank = arg.find(' ') != std::string::npos;
        const bool quote = arg.find('"') != std::string::npos;
        if ((quote && blank) || (!arg.empty() && arg.front() == '"'))
            return std::nullopt;
        if (!line.empty())
            line += ' ';
        if (blank || arg.empty())
            line += '"' + arg + '"';
        else
            line += arg;
    }
    return line;
}

void MakeParametersAbsolute(std::vector<std::string>& args, const std::string& cwd) {
    for (std::size_t i = 1; i < args.size(); ++i) {
        std::string param;
        if (args[i].empty() || SplitFlag(args[i], param))
            continue;
        args[i] = AbsolutePath(args[i], cwd);
    }
}
