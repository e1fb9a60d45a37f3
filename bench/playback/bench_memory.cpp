// Resident memory while playing radio, taken apart: the program playing a
// live MP3 station, libmpv playing it alone (bench_libmpv_alone), and a Qt
// window with the same menus alone (bench_bare_window); each a fresh
// process, median of the runs. The last two set the floor for any Qt
// program that plays through Debian's libmpv in its own process.
//
//   bench_memory [runs] [seconds]

#include <algorithm>
#include <cstdio>
#include <vector>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStringEncoder>
#include <QTemporaryDir>

#include "DemoServerProcess.h"

namespace {

struct Memory
{
    double rss = 0, anon = 0, file = 0; // MB
};

Memory parse(const QByteArray &out)
{
    Memory m;
    for (const QByteArray &line : out.split('\n')) {
        const double mb = line.mid(line.indexOf(':') + 1).trimmed().split(' ').first().toDouble() / 1024.0;
        // Every child prints the three lines of /proc/self/status.
        if (line.startsWith("VmRSS:"))
            m.rss = mb;
        else if (line.startsWith("RssAnon:"))
            m.anon = mb;
        else if (line.startsWith("RssFile:"))
            m.file = mb;
    }
    return m;
}

Memory run(const QString &program, const QStringList &args, const QString &dir, int timeoutMs)
{
    QProcess p;
    p.setWorkingDirectory(dir);
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("lumora.*.warning=false"));
    p.setProcessEnvironment(env);
    p.start(program, args);
    p.waitForFinished(timeoutMs);
    const QByteArray out = p.readAllStandardOutput();
    if (out.contains("status ") && !out.contains("正在播放"))
        std::fprintf(stderr, "not playing: %s\n", out.constData());
    return parse(out);
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

QString sibling(const char *name)
{
    return QCoreApplication::applicationDirPath() + QLatin1Char('/') + QLatin1String(name);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
    const int seconds = argc > 2 ? std::max(1, atoi(argv[2])) : 20;

    DemoServerProcess server;
    if (!server.start())
        return 1;
    const QString station = server.url(QStringLiteral("/radio/1.mp3"));
    QTemporaryDir dir;
    QFile list(dir.path() + QStringLiteral("/gb.txt"));
    if (!list.open(QIODevice::WriteOnly))
        return 1;
    list.write(QStringEncoder("GBK").encode(QStringLiteral("|演示电台|%1\r\n").arg(station)));
    list.close();

    struct Row
    {
        const char *label;
        std::vector<double> rss, anon, file;
    };
    Row lumora{"Lumora playing a live MP3 station", {}, {}, {}};
    Row alone{"libmpv alone playing it (no window)", {}, {}, {}};
    Row window{"Qt window with the same menus alone", {}, {}, {}};
    const int timeout = (seconds + 30) * 1000;
    for (int i = 0; i < runs; ++i) {
        for (auto [row, m] : {std::pair{&lumora, run(sibling("bench_radio_child"), {QString::number(seconds)},
                                                     dir.path(), timeout)},
                              std::pair{&alone, run(sibling("bench_libmpv_alone"), {station, QString::number(seconds)},
                                                    dir.path(), timeout)},
                              std::pair{&window, run(QStringLiteral(LUMORA_BARE_WINDOW), {}, dir.path(), timeout)}}) {
            row->rss.push_back(m.rss);
            row->anon.push_back(m.anon);
            row->file.push_back(m.file);
        }
    }
    std::printf("resident memory, median of %d fresh processes, %d s into playing (MB)\n", runs, seconds);
    std::printf("%-40s %8s %10s %8s\n", "", "RSS", "anonymous", "files");
    for (const Row *r : {&lumora, &alone, &window})
        std::printf("%-40s %8.1f %10.1f %8.1f\n", r->label, median(r->rss), median(r->anon), median(r->file));
    return 0;
}
