#include "cli/CliFrontEnd.h"

#include "core/ClientSettings.h"
#include "support/Messages.h"
#include "support/StringIds.h"

#include <cstdio>

CliMessageBoxes::CliMessageBoxes() : m_previous(SetMessageBoxes(this)) {}

CliMessageBoxes::~CliMessageBoxes() {
    SetMessageBoxes(m_previous);
}

MsgResult CliMessageBoxes::Show(const std::string& text, const std::string&, MsgButtons buttons,
                                MsgIcon icon) {
    ++m_nShown;
    m_lastIcon = icon;
    if (buttons == MsgButtons::YesNo)
        return Ask(text);
    if (!m_bQuiet) {
        std::fflush(stdout);
        std::FILE* out = icon == MsgIcon::Information ? stdout : stderr;
        std::fprintf(out, "%s\n", text.c_str());
        std::fflush(out);
    }
    return MsgResult::Ok;
}

MsgResult CliMessageBoxes::Ask(const std::string& question) const {
    if (m_questions != Questions::Ask)
        return m_questions == Questions::AnswerYes ? MsgResult::Yes : MsgResult::No;
    std::fflush(stdout);
    std::fprintf(stderr, "%s%s", question.c_str(), LoadResString(IDS_CLI_ANSWER_HINT).c_str());
    std::fflush(stderr);
    // "a" (ano) or "y" (yes) in either case, after any blanks; anything else, or no line at
    // all, is no.
    char line[64];
    if (std::fgets(line, sizeof line, stdin) == nullptr)
        return MsgResult::No;
    const char* answer = line;
    while (*answer == ' ' || *answer == '\t')
        ++answer;
    const char first = *answer;
    return first == 'a' || first == 'A' || first == 'y' || first == 'Y' ? MsgResult::Yes
                                                                        : MsgResult::No;
}

void CliListControl::DeleteAllRows() {
    m_rows.clear();
    m_nSelected = -1;
}

int CliListControl::InsertRow(int row, const std::string& text) {
    m_rows.insert(m_rows.begin() + row, Row{text, ""});
    if (m_nSelected >= row)
        ++m_nSelected;
    return row;
}

void CliListControl::SetItemText(int row, int column, const std::string& text) {
    Row& r = m_rows.at(static_cast<std::size_t>(row));
    (column == 0 ? r.name : r.time) = text;
}

bool CliListControl::SelectAndFocus(int row) {
    if (row < 0 || row >= RowCount())
        return false;
    m_nSelected = row;
    if (m_pPanel != nullptr)
        m_pPanel->OnItemChanged(row, true);
    return true;
}

void CliListControl::DeleteRow(int row) {
    m_rows.erase(m_rows.begin() + row);
    if (m_nSelected == row)
        m_nSelected = -1;
    else if (m_nSelected > row)
        --m_nSelected;
}

CClientSettings& LoadCliSettings(const std::string& iniPath) {
    CClientSettings& settings = GetClientSettings();
    if (iniPath.empty())
        (void)UseUserIniFile(settings); // a folder that cannot be made just leaves defaults
    else
        settings.SetIniPath(iniPath);
    settings.Load();
    return settings;
}

CliSession::CliSession(const std::string& iniPath, bool refreshTimes)
    : m_panel(m_rows), m_doc(m_registry) {
    CClientSettings& settings = LoadCliSettings(iniPath);
    if (refreshTimes)
        m_registry.LoadAtStartup(settings);
    else
        LoadStampList(settings, m_registry);
    m_rows.m_pPanel = &m_panel;
    m_panel.SetDocument(&m_doc);
    m_doc.SetFrontEnd(this);
    // A fresh document cannot fail to start: it only empties its title and flag.
    [[maybe_unused]] const bool fresh = m_doc.OnNewDocument();
    m_panel.FillOnce(m_registry);
}

CliSession::~CliSession() {
    // Every change was written when it was made, or said why not; the command's exit code
    // tells the rest (ListSaved).
    m_doc.SetFrontEnd(nullptr);
}

void CliSession::SetVerifyAnswer(std::string source, bool addToList) {
    m_strVerifySource = std::move(source);
    m_bVerifyAddToList = addToList;
}

std::optional<std::string> CliSession::ChooseFile(const FileDialogSpec&) {
    return std::nullopt; // no command asks for a file through a dialog
}

bool CliSession::RunVerifyDialog(VerifyDialogValues& values) {
    if (!m_strVerifySource.empty())
        values.m_strSourceFile = m_strVerifySource;
    values.m_bAddToList = m_bVerifyAddToList;
    if (!values.CanConfirm()) {
        values.OnCancel();
        return false;
    }
    return true;
}
