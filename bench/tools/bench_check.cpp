// Prints how long lumora-check takes over a whole catalogue of dead stations:
// every one of the 797 slots filled, tried 16 at a time with a 5-second
// limit, once against the stream server's /fail/hang (accepts, never
// answers: every try runs out its time) and once against a closed port
// (every try is refused at once).
//   bench_check [entries [parallel [timeout]]]   defaults 797 16 5
// Run it from anywhere; it works in a temporary folder.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStringEncoder>
#include <QTemporaryDir>

#include "ChannelCatalogue.h"
#include "DemoServerProcess.h"

using namespace Qt::StringLiterals;

namespace {

// The catalogue filled in load order up to entries, each with an address of
// its own (the check tries an address once however often it is listed).
bool writeCatalogue(const QString &folder, int entries, const std::function<QString(int)> &address)
{
    QStringEncoder gbk("GBK");
    int n = 0;
    for (const GroupDefinition &definition : GroupTable::groups()) {
        QByteArray bytes;
        for (int i = 0; i < definition.capacity && n < entries; ++i, ++n) {
            bytes += gbk.encode(u"|不通的电台 %1|%2\r\n"_s.arg(n).arg(address(n)));
        }
        const QString path = folder + u'/' + QString(definition.listFile);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
            return false;
        }
    }
    return true;
}

struct Figures
{
    qint64 wallMs = -1;
    int failing = 0;
    int peak = 0;
};

Figures check(const QString &folder, int parallel, double timeout)
{
    QProcess process;
    QElapsedTimer clock;
    clock.start();
    process.start(QStringLiteral(LUMORA_CHECK_PATH), {u"--json"_s, u"-j"_s, QString::number(parallel), u"-t"_s,
                                                     QString::number(timeout), folder});
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    if (!process.waitForFinished(30 * 60 * 1000)) {
        return {};
    }
    Figures figures;
    figures.wallMs = clock.elapsed();
    const QJsonObject summary = QJsonDocument::fromJson(process.readAllStandardOutput()).object()[u"summary"_s].toObject();
    figures.failing = summary[u"failing"_s].toInt();
    figures.peak = summary[u"peakParallel"_s].toInt();
    return figures;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int entries = args.size() > 1 ? args.at(1).toInt() : 797;
    const int parallel = args.size() > 2 ? args.at(2).toInt() : 16;
    const double timeout = args.size() > 3 ? args.at(3).toDouble() : 5.0;

    DemoServerProcess server;
    if (!server.start()) {
        std::fprintf(stderr, "bench_check: the stream server did not start: %s\n", qPrintable(server.errorString()));
        return 1;
    }
    const quint16 closed = DemoServerProcess::closedPort();
    const double waves = std::ceil(double(entries) / parallel);
    std::printf("lumora-check, %d entries, %d at a time, %.1f s limit (%g waves: at least %.0f s when every try runs out)\n",
                entries, parallel, timeout, waves, waves * timeout);
    std::fflush(stdout);

    struct Case
    {
        const char *what;
        std::function<QString(int)> address;
    };
    const Case cases[] = {
        {"/fail/hang (never answers)", [&](int i) { return server.url(u"/fail/hang?station=%1"_s.arg(i)); }},
        {"closed port (refused)", [&](int i) { return u"http://127.0.0.1:%1/radio/%2.mp3"_s.arg(closed).arg(i); }},
    };
    for (const Case &c : cases) {
        QTemporaryDir dir;
        if (!dir.isValid() || !writeCatalogue(dir.path(), entries, c.address)) {
            std::fprintf(stderr, "bench_check: cannot write the catalogue\n");
            return 1;
        }
        const Figures f = check(dir.path(), parallel, timeout);
        std::printf("  %-28s %8.1f s  (%d of %d failed, at most %d at once)%s\n", c.what, f.wallMs / 1000.0, f.failing,
                    entries, f.peak, f.wallMs >= 0 && f.wallMs < 5 * 60 * 1000 ? "" : "  OVER FIVE MINUTES");
        std::fflush(stdout);
    }
    return 0;
}
