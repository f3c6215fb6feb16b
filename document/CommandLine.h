// The program's command line: the parameters of a start, and the text that a second start
// hands over to the running instance.
//
// Parameters are read the way desktop programs of the document/view kind read them: a
// parameter that starts with "-" is a flag; so is one that starts with "/" when the rest is
// a bare word ("/p", "/dde"), since on this system "/home/…" is a path. The first plain
// parameter is the file to open; "/p" asks for printing, which this program does not do
// from a command line.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

class CCommandLineInfo {
public:
    enum ShellCommand {
        FileNew,
        FileOpen,
        FilePrint,
        FilePrintTo,
        FileDDE,
        AppUnregister,
        FileNothing
    };

    virtual ~CCommandLineInfo() = default;

    // One parameter: `flag` when it was marked as a flag (the mark already removed), `last`
    // for the last parameter of the line.
    virtual void ParseParam(const std::string& param, bool flag, bool last);

    ShellCommand m_nShellCommand = FileNew;
    std::string m_strFileName;
    // The plain parameters after the file to open (a start with several files).
    std::vector<std::string> m_moreFileNames;
    // The file to open and the further files, in order.
    std::vector<std::string> FileNames() const {
        std::vector<std::string> names{m_strFileName};
        names.insert(names.end(), m_moreFileNames.begin(), m_moreFileNames.end());
        return names;
    }
    std::string m_strPrinterName; // "/pt file printer driver port"
    std::string m_strDriverName;
    std::string m_strPortName;
    bool m_bRunEmbedded = false;
    bool m_bRunAutomated = false;

protected:
    void ParseParamFlag(const std::string& flag);
    void ParseParamNotFlag(const std::string& param);
    void ParseLast(bool last);
};

// Whether `token` is a flag; `param` gets the token without its flag mark, or the token.
bool SplitFlag(const std::string& token, std::string& param);

// Hands every parameter, in order, to info.ParseParam; the last one is marked last.
void ParseCommandLine(const std::vector<std::string>& params, CCommandLineInfo& info);

// Splits a handed-over command line: blanks (and only blanks) separate tokens; a token that
// starts with a double quote runs to the next double quote, which need not be followed by a
// blank; a double quote inside an unquoted token is an ordinary character; empty tokens are
// dropped. With no closing delimiter the rest of the text is the token.
std::vector<std::string> SplitHandOverCommandLine(std::string_view text);

// The command line of a start as one text that SplitHandOverCommandLine gives back as the
// same tokens: a parameter with a blank (or an empty one) in double quotes. Nothing when
// some parameter cannot be written that way (a double quote at its start, or a double quote
// together with a blank), because handing it over would open another file than the one the
// user named.
std::optional<std::string> JoinCommandLine(const std::vector<std::string>& args);

// Makes the plain parameters after the program path absolute against `cwd` and normalises
// them (AbsolutePath): the running instance that receives a command line works in a folder
// of its own, and would otherwise open another file or none. With an empty `cwd` relative
// paths stay relative.
void MakeParametersAbsolute(std::vector<std::string>& args, const std::string& cwd);
