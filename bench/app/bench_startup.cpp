// Start-up to first window shown, and resident memory at rest, for Lumora's
// main window against a bare Qt main window with a menu bar of the same
// shape in a program linked with Qt Widgets only (bench_bare_window), each
// started as a fresh process, interleaved, median of the runs. The RSS of
// Lumora includes libmpv, which it loads once the window is on screen.
// One catalogue is damaged in the ways that cost the loader most (what
// tests/app/tst_badlistfiles checks for correctness, the time is here).
//
//   bench_startup [runs]          prints a table
//   bench_startup --child         one start of the main window (used by the table)

#include <algorithm>
#include <cstdio>

#include <sys/stat.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QWindow>

#include "ChannelCatalogue.h"
#include "FirstExpose.h"
#include "Form1.h"
#include "HeapTuning.h"

namespace {

int child(int argc, char *argv[])
{
    HeapTuning::returnLargeBuffersWhenFreed(); // as the program does
    QApplication app(argc, argv);
    FirstExpose watcher;
    MpvCore::Options engine;
    engine.audioOutput = QStringLiteral("null");
    Form1 form(engine);
    form.LoadMainWindow();
    form.winId();
    form.windowHandle()->installEventFilter(&watcher);
    form.show();
    return app.exec();
}

struct Sample
{
    double ms = 0;
    long rssKiB = 0;
};

Sample startOnce(const QString &kind, const QString &dir)
{
    QProcess p;
    p.setWorkingDirectory(dir);
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("lumora.*.warning=false"));
    p.setProcessEnvironment(env);
    QElapsedTimer t;
    t.start();
    if (kind == QLatin1String("qt-only"))
        p.start(QStringLiteral(LUMORA_BARE_WINDOW));
    else
        p.start(QCoreApplication::applicationFilePath(), { QStringLiteral("--child") });
    Sample s;
    QByteArray out;
    while (p.waitForReadyRead(10000)) {
        out += p.readAll();
        if (s.ms == 0 && out.contains("shown\n"))
            s.ms = t.nsecsElapsed() / 1e6;
        if (out.contains("rss "))
            break;
    }
    p.waitForFinished(5000);
    const qsizetype at = out.indexOf("rss ");
    if (at >= 0) {
        const qsizetype eol = out.indexOf('\n', at);
        s.rssKiB = out.mid(at + 4, eol < 0 ? -1 : eol - at - 4).trimmed().toLong();
    }
    return s;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// A catalogue with every group at its capacity: 797 entries.
void writeFullCatalogue(const QString &dir)
{
    QDir(dir).mkpath(QStringLiteral("gb"));
    QStringEncoder gbk("GBK");
    for (const auto &d : GroupTable::groups()) {
        QString text;
        for (int i = 0; i < d.capacity; ++i)
            text += QStringLiteral("|演示电台%1|http://127.0.0.1:9/%2/%1.mp3\r\n").arg(i).arg(QString(d.arrayName));
        QFile f(dir + QLatin1Char('/') + QString(d.listFile));
        if (f.open(QIODevice::WriteOnly))
            f.write(gbk.encode(text));
    }
}

// The bundled catalogue with its worst damage: a 100 MB list file, one linked
// to an endless device, a named pipe, random bytes and a folder in place of
// a file.
void writeDamagedCatalogue(const QString &dir, const QString &bundled)
{
    QDir(dir).mkpath(QStringLiteral("gb"));
    for (const auto &d : GroupTable::groups()) {
        const QString name = QString(d.listFile);
        QFile::copy(bundled + QLatin1Char('/') + name, dir + QLatin1Char('/') + name);
    }
    auto path = [&](const char *name) { return dir + QLatin1Char('/') + QLatin1String(name); };
    QStringEncoder gbk("GBK");
    QByteArray block;
    for (int k = 1; block.size() < 1024 * 1024; ++k)
        block += gbk.encode(QStringLiteral("|演示电台%1|http://127.0.0.1:9/gb/%1.mp3\r\n").arg(k));
    QFile huge(path("gb.txt"));
    if (huge.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        for (int i = 0; i < 100; ++i)
            huge.write(block);
    }
    QFile::remove(path("gb/gx.txt"));
    QFile::link(QStringLiteral("/dev/zero"), path("gb/gx.txt"));
    QFile::remove(path("gb/gd.txt"));
    ::mkfifo(qPrintable(path("gb/gd.txt")), 0644);
    QFile noise(path("gb/hubei.txt"));
    if (noise.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        QByteArray bytes(256 * 1024, '\0');
        QRandomGenerator generator(12);
        generator.fillRange(reinterpret_cast<quint32 *>(bytes.data()), bytes.size() / 4);
        noise.write(bytes);
    }
    QFile::remove(path("tv.txt"));
    QDir(dir).mkpath(QStringLiteral("tv.txt"));
}
}

int main(int argc, char *argv[])
{
    if (argc >= 2 && qstrcmp(argv[1], "--child") == 0)
        return child(argc, argv);

    QCoreApplication app(argc, argv);
    const int runs = argc >= 2 ? std::max(1, atoi(argv[1])) : 15;
    QTemporaryDir empty, full, damaged;
    writeFullCatalogue(full.path());
    const QString bundled = QStringLiteral(LUMORA_SOURCE_DIR "/data");
    writeDamagedCatalogue(damaged.path(), bundled);

    struct Row
    {
        const char *label;
        QString kind;
        QString dir;
        std::vector<double> ms, rss;
    };
    std::vector<Row> rows = {
        { "bare QMainWindow, same menu shape", QStringLiteral("qt-only"), empty.path(), {}, {} },
        { "Lumora, empty list files", QStringLiteral("lumora"), empty.path(), {}, {} },
        { "Lumora, bundled data/", QStringLiteral("lumora"), bundled, {}, {} },
        { "Lumora, 797 entries (every capacity)", QStringLiteral("lumora"), full.path(), {}, {} },
        { "Lumora, damaged list files", QStringLiteral("lumora"), damaged.path(), {}, {} },
    };
    for (int i = 0; i < runs; ++i) {
        for (Row &r : rows) {
            const Sample s = startOnce(r.kind, r.dir);
            r.ms.push_back(s.ms);
            r.rss.push_back(s.rssKiB / 1024.0);
        }
    }
    std::printf("start-up to first window shown and RSS 1.5 s later, median of %d runs\n", runs);
    std::printf("%-40s %12s %10s\n", "", "shown (ms)", "RSS (MB)");
    for (const Row &r : rows)
        std::printf("%-40s %12.1f %10.1f\n", r.label, median(r.ms), median(r.rss));
    return 0;
}
