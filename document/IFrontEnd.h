// What the document needs from a front end: the main window with its list panel, the
// open-file dialog and the verification dialog. The GUI implements it with its windows,
// the command line with answers taken from its arguments, the tests with scripted fakes.
// Message boxes go through support/IMessageBoxes.h; the transport's prompts through
// core/IConnectionPrompts.h.
#pragma once

#include "document/LongWork.h"

#include <optional>
#include <string>
#include <vector>

class IStampListPanel;

// One open-file dialog: its title and its single filter entry.
struct FileDialogSpec {
    std::string m_strTitle;
    std::string m_strFilterName;    // e.g. "Všechny soubory"
    std::string m_strFilterPattern; // e.g. "*.*", "*.tsr;*.tst"
};

// The three values of the verification dialog.
struct VerifyDialogValues {
    std::string m_strStampFile;
    std::string m_strSourceFile;
    bool m_bAddToList = false;

    // OK closes the dialog only when both paths are filled in.
    bool CanConfirm() const { return !m_strStampFile.empty() && !m_strSourceFile.empty(); }
    // Cancel empties both paths.
    void OnCancel() {
        m_strStampFile.clear();
        m_strSourceFile.clear();
    }
};

class IFrontEnd {
public:
    virtual ~IFrontEnd() = default;

    // The application's main window exists (it owns the dialogs and the list panel).
    virtual bool HasMainWindow() const = 0;
    // The main window's list panel; null when there is none.
    virtual IStampListPanel* ListPanel() = 0;
    // Shows the open-file dialog; the chosen full path, or nothing when cancelled.
    virtual std::optional<std::string> ChooseFile(const FileDialogSpec& spec) = 0;
    // The same dialog where several files may be chosen; none when cancelled. A front end
    // without such a dialog offers the one-file dialog.
    virtual std::vector<std::string> ChooseFiles(const FileDialogSpec& spec) {
        std::optional<std::string> one = ChooseFile(spec);
        return one ? std::vector<std::string>{*one} : std::vector<std::string>{};
    }
    // Runs long work (document/LongWork.h) with its progress shown and "Storno" offered as
    // `stop` says. A front end without a window runs it in place.
    virtual LongWorkOutcome RunLongWork(const LongWork& work, LongWorkStop stop) {
        (void)stop;
        return RunLongWorkInPlace(work);
    }
    // Shows the verification dialog modally with `values` as its initial content. True on
    // OK, with `values` read back (both paths non-empty); false on Cancel (paths emptied).
    virtual bool RunVerifyDialog(VerifyDialogValues& values) = 0;
};
