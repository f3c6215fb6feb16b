// The desktop program's start and its new-stamp round trip, against a bare browser view as
// the floor: cold start (process start to the about page loaded and filled), choosing a file
// to the new stamp shown (local test TSA), and the peak memory of the process tree (the
// program and its browser processes). Each figure is the median of a few fresh processes.
//
//   bench_gui_startup            runs the measurements and prints the figures
//   bench_gui_startup --child floor|app   one measured process (used by the above)
#include "document/IFrontEnd.h"
#include "document/ZarnDoc.h"
#include "support/StringIds.h"
#include "tools/TestTsa.h"
#include "ui/MainFrame.h"
#include "ui/OpenFileDialog.h"
#include "ui/QtFrontEnd.h"
#include "ui/ZarnApp.h"
#include "ui/ZarnView.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>
#include <QWebEngineView>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int kRuns = 5;

long long NowUs() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool WaitFor(const std::function<bool()>& condition, int ms = 60000) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(2);
    }
    return true;
}

// Peak resident memory (VmHWM) summed over this process and all its descendants, in KiB.
long TreePeakKib() {
    std::map<int, int> parent;
    if (DIR* proc = opendir("/proc")) {
        while (dirent* entry = readdir(proc)) {
            const int pid = std::atoi(entry->d_name);
            if (pid <= 0)
                continue;
            std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
            std::string line;
            std::getline(stat, line);
            const auto close = line.rfind(')');
            if (close == std::string::npos)
                continue;
            std::istringstream rest(line.substr(close + 2));
            char state;
            int ppid = 0;
            rest >> state >> ppid;
            parent[pid] = ppid;
        }
        closedir(proc);
    }
    const int self = ::getpid();
    long total = 0;
    for (const auto& [pid, ppid] : parent) {
        int p = pid;
        while (p > 1 && p != self)
            p = parent.count(p) ? parent[p] : 0;
        if (p != self)
            continue;
        std::ifstream status("/proc/" + std::to_string(pid) + "/status");
        std::string line;
        while (std::getline(status, line)) {
            if (line.rfind("VmHWM:", 0) == 0)
                total += std::atol(line.c_str() + 6);
        }
    }
    return total;
}

int ChildFloor(int argc, char** argv) {
    QApplication qapp(argc, argv);
    QWebEngineView view;
    view.resize(900, 600);
    bool loaded = false;
    QObject::connect(&view, &QWebEngineView::loadFinished, &view, [&](bool) { loaded = true; });
    view.load(QUrl::fromLocalFile(QStringLiteral(MIVO_SOURCE_DIR "/res/pages/about.htm")));
    view.show();
    if (!WaitFor([&] { return loaded; }))
        return 1;
    std::printf("ready %lld\npeak %ld\n", NowUs(), TreePeakKib());
    return 0;
}

int ChildApp(int argc, char** argv, const std::string& source) {
    CZarnView::RegisterPageScheme();
    QApplication qapp(argc, argv);
    CZarnApp app;
    if (!app.InitInstance({"mivoklient"}))
        return 1;
    CZarnView* view = app.MainFrame()->View();
    std::vector<QString> filled;
    QObject::connect(view, &CZarnView::pageFilled, view,
                     [&](const QUrl& url) { filled.push_back(url.path()); });
    if (!WaitFor([&] { return !filled.empty() && filled.back() == QLatin1String("/about.htm"); }))
        return 1;
    std::printf("ready %lld\n", NowUs());

    // The file dialog answers at once; the time runs from the user's choice.
    SetFileChooserForTests([&](const FileDialogSpec&) {
        std::printf("chosen %lld\n", NowUs());
        return std::optional<std::string>(source);
    });
    filled.clear();
    app.MainFrame()->Action(ID_FILE_NEW)->trigger();
    if (!WaitFor([&] { return !filled.empty() && filled.back() == QLatin1String("/certif.htm"); }))
        return 1;
    std::printf("shown %lld\npeak %ld\n", NowUs(), TreePeakKib());
    std::fflush(stdout);
    app.Document()->SetModifiedFlag(false);
    return 0;
}

struct Run {
    double startMs = 0, stampMs = 0, peakMib = 0;
};

bool Measure(const std::string& self, const std::string& mode, const QProcessEnvironment& env,
             Run& run) {
    QProcess child;
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::SeparateChannels);
    const long long started = NowUs();
    child.start(QString::fromStdString(self),
                {QStringLiteral("--child"), QString::fromStdString(mode)});
    if (!child.waitForFinished(120000) || child.exitCode() != 0) {
        std::fprintf(stderr, "bench_gui_startup: %s run failed: %s\n", mode.c_str(),
                     child.readAllStandardError().toStdString().c_str());
        return false;
    }
    std::map<std::string, long long> marks;
    std::istringstream out(child.readAllStandardOutput().toStdString());
    std::string key;
    long long value;
    while (out >> key >> value)
        marks[key] = value;
    run.startMs = (marks["ready"] - started) / 1000.0;
    run.stampMs = marks.count("shown") ? (marks["shown"] - marks["chosen"]) / 1000.0 : 0;
    run.peakMib = marks["peak"] / 1024.0;
    return true;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    if (::geteuid() == 0)
        setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    if (argc >= 3 && std::string(argv[1]) == "--child") {
        const std::string mode = argv[2];
        argc = 1;
        if (mode == "floor")
            return ChildFloor(argc, argv);
        return ChildApp(argc, argv, std::getenv("MIVO_BENCH_SOURCE"));
    }

    QCoreApplication qapp(argc, argv);
    std::string pattern = (fs::temp_directory_path() / "mivo-bench-gui-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        return 2;
    const fs::path dir = pattern;
    mivo::test::TestTsa tsa;
    const std::string source = (dir / "smlouva.txt").string();
    std::ofstream(source) << "Smlouva o dílo\n";

    std::map<std::string, std::vector<Run>> runs;
    for (int i = 0; i < kRuns; ++i) {
        for (const std::string mode : {"floor", "app"}) {
            // A fresh runtime and configuration each time: a cold start of a first instance.
            const fs::path home = dir / (mode + std::to_string(i));
            fs::create_directories(home / "config");
            fs::create_directories(home / "run");
            fs::permissions(home / "run", fs::perms::owner_all);
            std::ofstream(home / "config" / "mivoklient.ini")
                << "[zarn]\nserver_url=" << tsa.Url() << "\npolicy_oid=1.2.3.4.1\nhash_alg=2\n";
            fs::remove(source + ".tsr");
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("XDG_RUNTIME_DIR"),
                       QString::fromStdString((home / "run").string()));
            env.insert(QStringLiteral("MIVOKLIENT_CONFIG_DIR"),
                       QString::fromStdString((home / "config").string()));
            env.insert(QStringLiteral("MIVOKLIENT_SYSCONF_DIR"),
                       QString::fromStdString((home / "etc").string()));
            env.insert(QStringLiteral("MIVO_BENCH_SOURCE"), QString::fromStdString(source));
            Run run;
            if (!Measure(argv[0], mode, env, run))
                return 1;
            runs[mode].push_back(run);
        }
    }
    auto median = [&](const std::string& mode, double Run::*field) {
        std::vector<double> values;
        for (const Run& run : runs[mode])
            values.push_back(run.*field);
        return Median(values);
    };
    const double floorStart = median("floor", &Run::startMs);
    const double appStart = median("app", &Run::startMs);
    const double floorPeak = median("floor", &Run::peakMib);
    const double appPeak = median("app", &Run::peakMib);
    std::printf("medians of %d fresh processes each (offscreen)\n", kRuns);
    std::printf("cold start to page shown:  program %7.1f ms   bare view %7.1f ms   ratio %.2f\n",
                appStart, floorStart, appStart / floorStart);
    std::printf("file chosen to new stamp shown (local test TSA): %.1f ms\n",
                median("app", &Run::stampMs));
    std::printf(
        "peak memory of the process tree: program %.0f MiB   bare view %.0f MiB   ratio %.2f\n",
        appPeak, floorPeak, appPeak / floorPeak);
    std::error_code ignored;
    fs::remove_all(dir, ignored);
    return 0;
}
