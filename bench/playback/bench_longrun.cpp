// Long runs on the real main window against the loopback stream server:
// many selections in a row across radio, TV and failing entries with random
// gaps, then one live stream played for a long while; resident memory,
// threads and open files before and after. Then the window is closed at
// random moments of such a run, each in a fresh process, and the time from
// the close to the end of the process is measured.
//
//   bench_longrun [selections] [max-gap-ms] [play-minutes] [closes]
//   bench_longrun --child PORT SEED    one closing run (used by the above)

#include <algorithm>
#include <cstdio>
#include <random>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

#include "ChannelCatalogue.h"
#include "DemoServerProcess.h"
#include "Form1.h"
#include "HeapTuning.h"
#include "MediaPlayer.h"
#include "MenuItemArray.h"
#include "MenuTree.h"

namespace {

long statusField(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(qstrlen(field)).trimmed().split(' ').first().toLong();
    }
    return -1;
}

long openFiles()
{
    return long(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System).size());
}

// A catalogue of radio, TV, crosstalk and failing entries on the server.
void writeCatalogue(const QString &dir, quint16 port)
{
    QDir(dir).mkpath(QStringLiteral("gb"));
    QStringEncoder gbk("GBK");
    const QString base = QStringLiteral("http://127.0.0.1:%1").arg(port);
    const QStringList radio = {QStringLiteral("/radio/1.mp3"), QStringLiteral("/radio/5.mp3"), QStringLiteral("/radio/aac"),
                               QStringLiteral("/radio/ogg"), QStringLiteral("/hls/radio.m3u8"),
                               QStringLiteral("/playlist/radio.asx"), QStringLiteral("/fail/404"),
                               QStringLiteral("/fail/hang"), QStringLiteral("/fail/garbage"), QStringLiteral("/fail/drop?after=1")};
    const QStringList tv = {QStringLiteral("/tv/1.ts"), QStringLiteral("/tv/2.ts"), QStringLiteral("/hls/tv.m3u8"),
                            QStringLiteral("/fail/500")};
    for (const auto &d : GroupTable::groups()) {
        const QStringList &paths = QString(d.arrayName) == QLatin1String("tvlist") ? tv : radio;
        QString text;
        for (int i = 0; i < std::min(d.capacity, 10); ++i)
            text += QStringLiteral("|台%1|%2%3\r\n").arg(i).arg(base, paths[i % paths.size()]);
        QFile f(dir + QLatin1Char('/') + QString(d.listFile));
        if (f.open(QIODevice::WriteOnly))
            f.write(gbk.encode(text));
    }
}

// Clicks random entries of random item arrays.
void selectAtRandom(Form1 &form, std::mt19937 &random, int count, int maxGapMs)
{
    const QList<MenuItemArray *> arrays = form.menuTree().arrays();
    for (int i = 0; i < count; ++i) {
        MenuItemArray *array = arrays[random() % arrays.size()];
        array->item(int(random() % array->count()))->trigger();
        QTest::qWait(maxGapMs > 0 ? int(random() % (maxGapMs + 1)) : 0);
    }
}

MpvCore::Options silent()
{
    MpvCore::Options engine;
    engine.audioOutput = QStringLiteral("null");
    return engine;
}

int child(quint16 port, unsigned seed)
{
    QTemporaryDir dir;
    writeCatalogue(dir.path(), port);
    QDir::setCurrent(dir.path());
    std::mt19937 random(seed);
    auto *form = new Form1(silent());
    form->setAttribute(Qt::WA_DeleteOnClose);
    form->LoadMainWindow();
    form->show();
    selectAtRandom(*form, random, int(random() % 12), 400);
    std::printf("closing\n");
    std::fflush(stdout);
    form->close();
    return 0; // the rest, after the window is gone, is the process ending
}

}

int main(int argc, char *argv[])
{
    HeapTuning::returnLargeBuffersWhenFreed(); // as the program does
    if (argc >= 4 && qstrcmp(argv[1], "--child") == 0) {
        QApplication app(argc, argv);
        return child(quint16(atoi(argv[2])), unsigned(atoi(argv[3])));
    }
    QApplication app(argc, argv);
    const int selections = argc > 1 ? atoi(argv[1]) : 2000;
    const int maxGap = argc > 2 ? atoi(argv[2]) : 500;
    const double playMinutes = argc > 3 ? atof(argv[3]) : 30;
    const int closes = argc > 4 ? atoi(argv[4]) : 20;

    DemoServerProcess server;
    if (!server.start())
        return 1;
    QTemporaryDir dir;
    writeCatalogue(dir.path(), server.port());
    QDir::setCurrent(dir.path());

    auto form = std::make_unique<Form1>(silent());
    form->LoadMainWindow();
    form->show();
    if (!QTest::qWaitForWindowExposed(form.get()))
        return 1;
    // The first TV entry brings up OpenGL and the video output, once for the
    // life of the process; growth is counted from after that.
    const long coldRss = statusField("VmRSS:");
    form->itemArray(QStringLiteral("tvlist"))->item(0)->trigger();
    QTest::qWait(3000);
    form->itemArray(QStringLiteral("gblist"))->item(0)->trigger();
    QTest::qWait(3000);
    const long rss0 = statusField("VmRSS:"), threads0 = statusField("Threads:"), fds0 = openFiles();

    QElapsedTimer t;
    t.start();
    std::mt19937 random(20261208);
    // The curve shows whether memory keeps growing or settles.
    const int step = std::max(1, selections / 10);
    for (int done = 0; done < selections; done += step) {
        selectAtRandom(*form, random, std::min(step, selections - done), maxGap);
        std::printf("  %5d selections: RSS %.1f MB (anonymous %.1f, files %.1f), %ld threads, %ld open files\n",
                    done + std::min(step, selections - done), statusField("VmRSS:") / 1024.0,
                    statusField("RssAnon:") / 1024.0, statusField("RssFile:") / 1024.0, statusField("Threads:"),
                    openFiles());
        std::fflush(stdout);
    }
    const double selectSeconds = t.elapsed() / 1000.0;
    form->itemArray(QStringLiteral("gblist"))->item(0)->trigger();
    QTest::qWait(5000);
    const long rss1 = statusField("VmRSS:"), threads1 = statusField("Threads:"), fds1 = openFiles();

    QTest::qWait(int(playMinutes * 60 * 1000));
    const long rss2 = statusField("VmRSS:"), threads2 = statusField("Threads:"), fds2 = openFiles();
    const QString status = form->player()->statusText();

    std::printf("%-44s %10s %8s %8s\n", "", "RSS (MB)", "threads", "files");
    std::printf("%-44s %10.1f\n", "shown, before any TV entry", coldRss / 1024.0);
    std::printf("%-44s %10.1f %8ld %8ld\n", "playing radio after one TV entry", rss0 / 1024.0, threads0, fds0);
    std::printf("%-44s %10.1f %8ld %8ld\n",
                qPrintable(QStringLiteral("after %1 selections (%2 s)").arg(selections).arg(selectSeconds, 0, 'f', 0)),
                rss1 / 1024.0, threads1, fds1);
    std::printf("%-44s %10.1f %8ld %8ld\n",
                qPrintable(QStringLiteral("after %1 min of one live stream").arg(playMinutes)), rss2 / 1024.0,
                threads2, fds2);
    std::printf("growth over the whole run: %.1f MB; status at the end: %s\n", (rss2 - rss0) / 1024.0,
                qPrintable(status));
    form.reset();

    std::vector<double> ends;
    for (int i = 0; i < closes; ++i) {
        QProcess p;
        p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("lumora.*.warning=false"));
        p.setProcessEnvironment(env);
        p.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--child"), QString::number(server.port()), QString::number(1000 + i)});
        QElapsedTimer close;
        while (p.waitForReadyRead(20000)) {
            if (p.readAll().contains("closing")) {
                close.start();
                break;
            }
        }
        p.waitForFinished(10000);
        ends.push_back(close.isValid() ? close.nsecsElapsed() / 1e6 : -1);
    }
    std::sort(ends.begin(), ends.end());
    if (!ends.empty())
        std::printf("closing the window at random moments, %d processes: median %.0f ms, worst %.0f ms to the end\n",
                    closes, ends[ends.size() / 2], ends.back());
    return 0;
}
