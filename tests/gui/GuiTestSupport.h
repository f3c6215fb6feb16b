// Helpers of the GUI tests.
#pragma once

#include "testlib/TempDir.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QString>
#include <QThread>
#include <QWebEngineView>
#include <QWidget>

#include <cstdlib>
#include <functional>
#include <string>

// Where the tests leave their screenshots: $MIVO_ARTIFACTS_DIR, else artifacts/ in the build.
inline std::string GuiArtifactsDir() {
    const char* dir = std::getenv("MIVO_ARTIFACTS_DIR");
    return dir != nullptr && *dir != '\0' ? std::string(dir)
                                          : std::string(MIVO_BINARY_DIR) + "/artifacts";
}

// Pumps events until `condition` holds or `ms` have passed; answers the condition. Polls
// every 5 ms: QTest::qWaitFor keeps pumping Chromium's events long after the condition holds.
inline bool WaitFor(const std::function<bool()>& condition, int ms = 10000) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(5);
    }
    return true;
}

// Saves a screenshot of `widget` as <artifacts>/<name>.png; answers the path.
inline std::string SaveScreenshot(QWidget* widget, const std::string& name) {
    const std::string path = GuiArtifactsDir() + "/" + name + ".png";
    // A window's own grab leaves the browser views blank: each is grabbed by itself and
    // painted in at its place.
    QImage image = widget->grab().toImage();
    QPainter painter(&image);
    for (QWebEngineView* web : widget->findChildren<QWebEngineView*>()) {
        if (web->isVisible())
            painter.drawPixmap(web->mapTo(widget, QPoint(0, 0)), web->grab());
    }
    painter.end();
    image.save(QString::fromStdString(path));
    return path;
}
