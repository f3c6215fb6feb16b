// The open-file dialog of the Qt front end: the new-stamp and open commands use it through
// the front end, the verification dialog's browse buttons directly.
#pragma once

#include "document/IFrontEnd.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

class QWidget;

// The open-file dialog owned by `owner`; the chosen full path, or nothing when cancelled.
// The test chooser answers instead when one is set.
[[nodiscard]] std::optional<std::string> ShowOpenFileDialog(QWidget* owner,
                                                            const FileDialogSpec& spec);

// The same dialog where several files may be chosen; none when cancelled. A test chooser
// of several files answers instead when one is set, else the one-file test chooser.
[[nodiscard]] std::vector<std::string> ShowOpenFilesDialog(QWidget* owner,
                                                           const FileDialogSpec& spec);
// Tests replace the modal file dialog with a scripted answer (nullopt: cancelled); an empty
// chooser restores the dialog.
using FileChooser = std::function<std::optional<std::string>(const FileDialogSpec&)>;
void SetFileChooserForTests(FileChooser chooser);
using FilesChooser = std::function<std::vector<std::string>(const FileDialogSpec&)>;
void SetFilesChooserForTests(FilesChooser chooser);
