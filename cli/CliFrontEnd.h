// The command line as a front end of the document: its list panel keeps the rows it is
// given, its dialogs answer with what the command line said, its message boxes print.
#pragma once

#include "document/IFrontEnd.h"
#include "document/IListControl.h"
#include "document/StampListPanel.h"
#include "document/ZarnDoc.h"
#include "list/StampList.h"
#include "support/IMessageBoxes.h"

#include <optional>
#include <string>
#include <vector>

// Errors and questions go to standard error, information to standard output. A question
// is answered as the command says: asked on the terminal, answered yes by the user's own
// command line, or refused when the command expects none.
class CliMessageBoxes final : public IMessageBoxes {
public:
    CliMessageBoxes();
    ~CliMessageBoxes() override;
    CliMessageBoxes(const CliMessageBoxes&) = delete;
    CliMessageBoxes& operator=(const CliMessageBoxes&) = delete;

    MsgResult Show(const std::string& text, const std::string& caption, MsgButtons buttons,
                   MsgIcon icon) override;

    enum class Questions {
        Refuse,    // answered no, without printing
        Ask,       // printed, and answered by a line read from standard input
        AnswerYes, // answered yes, without printing: the command line said so
    };

    Questions m_questions = Questions::Refuse;
    bool m_bQuiet = false;              // while set, nothing is printed
    int m_nShown = 0;                   // boxes shown so far
    MsgIcon m_lastIcon = MsgIcon::None; // icon of the latest box

private:
    // A yes/no question, answered as m_questions says.
    MsgResult Ask(const std::string& question) const;

    IMessageBoxes* m_previous;
};

class CliListControl final : public IListControl {
public:
    struct Row {
        std::string name;
        std::string time;
    };
    CStampListPanel* m_pPanel = nullptr;
    std::vector<Row> m_rows;
    int m_nSelected = -1;

    int ClientWidth() const override { return 80; }
    int RowCount() const override { return static_cast<int>(m_rows.size()); }
    void DeleteAllRows() override;
    void InsertColumn(int, const std::string&, int) override {}
    int InsertRow(int row, const std::string& text) override;
    void SetItemText(int row, int column, const std::string& text) override;
    bool SelectAndFocus(int row) override;
    void SelectNone() override { m_nSelected = -1; }
    int FirstSelectedRow() const override { return m_nSelected; }
    void DeleteRow(int row) override;
    void ScrollToEnd() override {}
    void SetFocus() override {}
};

// One command's document, with the user's settings and registry. The registry writes each
// change at once, merged with what other processes wrote.
class CliSession final : public IFrontEnd {
public:
    // Loads the settings from `iniPath` (the user's INI file when empty) and the registry.
    // With `refreshTimes` every listed stamp is read for its time, as the window does at
    // start-up; commands that show no list times skip that cost.
    CliSession(const std::string& iniPath, bool refreshTimes);
    ~CliSession() override;
    CliSession(const CliSession&) = delete;
    CliSession& operator=(const CliSession&) = delete;

    CZarnDoc& Doc() { return m_doc; }
    CStampList& Registry() { return m_registry; }
    CliListControl& Rows() { return m_rows; }
    CliMessageBoxes& Boxes() { return m_boxes; }
    // Every change of the registry reached the INI file (a failed write was printed).
    bool ListSaved() const { return !m_doc.HasUnsavedListChanges(); }

    // What the verification dialog answers: the stamp path it was given and this source
    // (or the proposed one when empty), with the add-to-list flag as given.
    void SetVerifyAnswer(std::string source, bool addToList);

    bool HasMainWindow() const override { return true; }
    IStampListPanel* ListPanel() override { return &m_panel; }
    std::optional<std::string> ChooseFile(const FileDialogSpec& spec) override;
    bool RunVerifyDialog(VerifyDialogValues& values) override;

private:
    CliMessageBoxes m_boxes;
    CStampList m_registry;
    CliListControl m_rows;
    CStampListPanel m_panel;
    CZarnDoc m_doc;
    std::string m_strVerifySource;
    bool m_bVerifyAddToList = false;
};

// Loads the process-wide settings from `iniPath`, or from the user's INI file when empty.
class CClientSettings;
CClientSettings& LoadCliSettings(const std::string& iniPath);
