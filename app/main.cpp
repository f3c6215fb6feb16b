// The desktop program: one instance per user, its window, its command line.
#include "platform/SharedMemory.h"
#include "ui/ZarnApp.h"
#include "ui/ZarnView.h"

#include <QApplication>
#include <QIcon>

#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

int main(int argc, char** argv) {
    // The browser engine refuses to start as root inside its sandbox.
    if (::geteuid() == 0)
        ::setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
    // The engine wants a runtime folder; without one from the session, the private folder
    // that the instance block falls back to serves both.
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime == nullptr || *runtime == '\0') {
        const std::string fallback = CSharedMemory::RuntimeDir();
        if (!fallback.empty())
            ::setenv("XDG_RUNTIME_DIR", fallback.c_str(), 1);
    }

    CZarnView::RegisterPageScheme(); // before the application, as the engine requires
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("mivoklient"));
    // The desktop entry's id, which Wayland compositors match windows by.
    QApplication::setDesktopFileName(QStringLiteral("cz.mivo.klient"));
    // The installed icon, when the desktop's icon theme has it.
    const QIcon icon = QIcon::fromTheme(QStringLiteral("mivoklient"));
    if (!icon.isNull())
        QApplication::setWindowIcon(icon);

    // The toolkit has taken its own options out of argv.
    const std::vector<std::string> args(argv, argv + argc);
    CZarnApp app;
    if (!app.InitInstance(args))
        return app.EndedAsSecondInstance() ? 0 : 1;
    return QApplication::exec();
}
