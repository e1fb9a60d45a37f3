// The program as main() starts it, playing the first station of 广播列表 in
// the working directory's catalogue with a null audio output; prints its
// resident memory after the given seconds and quits. Started by
// bench_memory.
//
//   bench_radio_child SECONDS

#include <cstdio>

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QTimer>

#include "Form1.h"
#include "HeapTuning.h"
#include "MediaPlayer.h"
#include "MenuItemArray.h"
#include "Startup.h"

int main(int argc, char *argv[])
{
    HeapTuning::returnLargeBuffersWhenFreed();
    QApplication app(argc, argv);
    Startup::describeApplication();
    const int seconds = argc > 1 ? atoi(argv[1]) : 20;

    MpvCore::Options engine;
    engine.audioOutput = QStringLiteral("null");
    Form1 form(engine);
    Startup::showMainWindow(form);
    // A click on the station, once the window is on screen.
    QTimer::singleShot(500, &form, [&form] {
        if (QAction *station = form.itemArray(QStringLiteral("gblist"))->item(0))
            station->trigger();
    });
    QTimer::singleShot(500 + seconds * 1000, &form, [&form] {
        std::printf("status %s\n", qPrintable(form.player()->statusText()));
        QFile status(QStringLiteral("/proc/self/status"));
        if (status.open(QIODevice::ReadOnly)) {
            for (const QByteArray &line : status.readAll().split('\n')) {
                if (line.startsWith("VmRSS:") || line.startsWith("RssAnon:") || line.startsWith("RssFile:"))
                    std::printf("%s\n", line.constData());
            }
        }
        std::fflush(stdout);
        QApplication::quit();
    });
    return app.exec();
}
