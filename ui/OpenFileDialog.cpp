#include "ui/OpenFileDialog.h"

#include <QFileDialog>
#include <QString>
#include <QStringList>

#include <utility>

namespace {

FileChooser& TestFileChooser() {
    static FileChooser chooser;
    return chooser;
}

// One filter entry as Qt writes it: "Name (*.a *.b)". "*.*" means every file, also one
// without a dot in its name, as the pattern does in the open-file dialog of other systems.
QString QtFilter(const FileDialogSpec& spec) {
    QStringList patterns;
    for (const QString& part :
         QString::fromStdString(spec.m_strFilterPattern).split(u';', Qt::SkipEmptyParts)) {
        const QString pattern = part.trimmed();
        if (pattern.isEmpty())
            continue;
        patterns << (pattern == QStringLiteral("*.*") ? QStringLiteral("*") : pattern);
    }
    if (patterns.isEmpty())
        patterns << QStringLiteral("*");
    return QString::fromStdString(spec.m_strFilterName) + QStringLiteral(" (") +
           patterns.join(u' ') + u')';
}

FilesChooser& TestFilesChooser() {
    static FilesChooser chooser;
    return chooser;
}

} // namespace

void SetFileChooserForTests(FileChooser chooser) {
    TestFileChooser() = std::move(chooser);
}

void SetFilesChooserForTests(FilesChooser chooser) {
    TestFilesChooser() = std::move(chooser);
}

std::vector<std::string> ShowOpenFilesDialog(QWidget* owner, const FileDialogSpec& spec) {
    if (const FilesChooser& chooser = TestFilesChooser())
        return chooser(spec);
    if (TestFileChooser()) {
        const std::optional<std::string> one = TestFileChooser()(spec);
        return one ? std::vector<std::string>{*one} : std::vector<std::string>{};
    }
    std::vector<std::string> paths;
    for (const QString& path : QFileDialog::getOpenFileNames(
             owner, QString::fromStdString(spec.m_strTitle), QString(), QtFilter(spec)))
        paths.push_back(path.toStdString());
    return paths;
}

std::optional<std::string> ShowOpenFileDialog(QWidget* owner, const FileDialogSpec& spec) {
    if (const FileChooser& chooser = TestFileChooser())
        return chooser(spec);
    // No initial folder and no options: the dialog starts where the platform says.
    const QString path = QFileDialog::getOpenFileName(
        owner, QString::fromStdString(spec.m_strTitle), QString(), QtFilter(spec));
    if (path.isEmpty())
        return std::nullopt;
    return path.toStdString();
}
