// The real program against its peers in a real desktop session (X11,
// openbox, PulseAudio with a null sink; tests/session/desktop-session.sh
// x11 -- ...), on the same loopback stations (Icecast fed with MP3 tones by
// ffmpeg), N fresh processes each, medians:
//   start-up: launch to the main window mapped, build/app/lumora with 797
//     entries against a bare Qt window with the same menus (and Goodvibes);
//   radio: CPU seconds, voluntary context switches per second and PSS over
//     S seconds of one station, against `mpv --no-config --no-video URL`
//     (and Goodvibes); the OpenGL driver libraries the program has mapped;
//   click from rest and zapping to the first sound on the sink, against mpv
//     given `loadfile` on its IPC socket (and Goodvibes given Play on D-Bus);
//     the same through a relay that delays 50 ms each way and shapes to
//     2 Mbit/s.
// Goodvibes (Debian's goodvibes package) is measured when it is installed.
// The program is driven through its accessibility bridge (AT-SPI), as a
// screen reader would; the first sound is the first 20 ms on the sink's
// monitor that is the new station's tone.
//
//   bench_desktop [runs] [radio-seconds]
//   bench_desktop --relay TARGET-PORT DELAY-MS KBIT   (started by the bench)

#include <algorithm>
#include <cstdio>
#include <functional>
#include <optional>
#include <thread>
#include <vector>

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include "AtspiMenu.h"
#include "DelayRelay.h"
#include "ChildServer.h"
#include "DesktopCatalogue.h"
#include "GoodvibesControl.h"
#include "IcecastProcess.h"
#include "LumoraProcess.h"
#include "MpvControl.h"
#include "ProcFigures.h"
#include "SinkTones.h"
#include "WindowMapWatch.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr int kTones[2] = {440, 880};
constexpr int kRelayDelayMs = 50;
constexpr int kRelayKbit = 2000;

double msBetween(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

void sleepMs(int ms)
{
    std::this_thread::sleep_for(milliseconds(ms));
}

QString loadAverage()
{
    QFile f(QStringLiteral("/proc/loadavg"));
    return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll()).section(QLatin1Char(' '), 0, 2) : QString();
}

// Figures of one row, for the program and its peer.
struct Row
{
    const char *label;
    const char *peer;
    std::vector<double> ours, theirs, goodvibes;
};

double median(std::vector<double> v)
{
    if (v.empty())
        return -1;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

void record(std::vector<double> &into, double value)
{
    if (value >= 0)
        into.push_back(value);
}

// Launch to the first top-level window mapped.
double startUp(WindowMapWatch &watch, const QString &program, const QString &dir,
               const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment())
{
    QProcess p;
    ChildServer::endWithTest(p);
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(dir);
    p.setStandardOutputFile(QProcess::nullDevice());
    p.setStandardErrorFile(QProcess::nullDevice());
    watch.reset();
    const auto launched = Clock::now();
    p.start(program, {});
    const auto mapped = watch.nextMapped(milliseconds(20000));
    p.terminate();
    if (!p.waitForFinished(5000)) {
        p.kill();
        p.waitForFinished(5000);
    }
    return mapped ? msBetween(launched, *mapped) : -1;
}

// The PSS of the bare window 1.5 s after it was first shown, as it prints it
// before it quits: what the toolkit alone costs, without a player.
double bareWindowPss(const QString &dir)
{
    QProcess p;
    ChildServer::endWithTest(p);
    p.setWorkingDirectory(dir);
    p.setStandardErrorFile(QProcess::nullDevice());
    p.start(QStringLiteral(LUMORA_BARE_WINDOW), {});
    if (!p.waitForFinished(20000))
        return -1;
    for (const QByteArray &line : p.readAllStandardOutput().split('\n')) {
        if (line.startsWith("Pss:"))
            return line.mid(4).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return -1;
}

// Waits for the sink to go quiet after a player went away.
void waitForSilence(SinkTones &sink)
{
    for (int i = 0; i < 60 && !sink.silentFor(milliseconds(300)); ++i)
        sleepMs(50);
}

// Sends a command, then the time to the first window of `tone` after it.
double toFirstSound(SinkTones &sink, int tone, const std::function<void()> &command)
{
    const auto sent = Clock::now();
    command();
    const auto heard = sink.firstTone(tone, sent, milliseconds(15000));
    return heard ? msBetween(sent, *heard) : -1;
}

struct Radio
{
    double cpuSeconds = -1, switchesPerSecond = -1, pss = -1, rss = -1;
};

Radio radioFigures(qint64 pid, int seconds)
{
    const ProcFigures::Snapshot a = ProcFigures::snapshot(pid);
    const auto from = Clock::now();
    sleepMs(seconds * 1000);
    const ProcFigures::Snapshot b = ProcFigures::snapshot(pid);
    const double wall = msBetween(from, Clock::now()) / 1000;
    // A stray player left running (a test killed half-way, another bench)
    // shares libmpv and its codecs, and the PSS comes out megabytes lower.
    if (const QStringList others = ProcFigures::othersMapping(pid, QStringLiteral("libavcodec")); !others.isEmpty())
        std::fprintf(stderr, "warning: the PSS of %lld is shared with %s\n", pid, qPrintable(others.join(u", ")));
    // LUMORA_BENCH_SMAPS=DIR keeps each player's /proc/PID/smaps at the end,
    // to see which mappings the PSS is made of.
    if (const QString dir = qEnvironmentVariable("LUMORA_BENCH_SMAPS"); !dir.isEmpty()) {
        QFile from(QStringLiteral("/proc/%1/smaps").arg(pid));
        QFile to(QStringLiteral("%1/%2.%3.smaps").arg(dir, ProcFigures::name(pid)).arg(pid));
        if (from.open(QIODevice::ReadOnly) && to.open(QIODevice::WriteOnly))
            to.write(from.readAll()); // a /proc file says its size is 0: QFile::copy would copy nothing
    }
    return {b.cpuSeconds - a.cpuSeconds, (b.voluntarySwitches - a.voluntarySwitches) / wall,
            ProcFigures::pssMiB(pid), ProcFigures::rssMiB(pid)};
}

int relayMain(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc < 5)
        return 2;
    DelayRelay relay(quint16(atoi(argv[2])), atoi(argv[3]), atof(argv[4]) * 1000);
    if (!relay.listen())
        return 1;
    std::printf("listening on 127.0.0.1:%u\n", relay.port());
    std::fflush(stdout);
    return app.exec();
}

// The relay as a child process, so that its timers never wait for the bench.
quint16 startRelay(QProcess &relay, quint16 target)
{
    ChildServer::endWithTest(relay);
    relay.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    relay.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--relay"), QString::number(target), QString::number(kRelayDelayMs),
                 QString::number(kRelayKbit)});
    QByteArray out;
    while (relay.waitForReadyRead(10000)) {
        out += relay.readAll();
        const qsizetype at = out.indexOf("listening on 127.0.0.1:");
        if (at >= 0 && out.indexOf('\n', at) > at)
            return quint16(out.mid(at + 23, out.indexOf('\n', at) - at - 23).toUInt());
    }
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc >= 2 && qstrcmp(argv[1], "--relay") == 0)
        return relayMain(argc, argv);

    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
    const int seconds = argc > 2 ? std::max(1, atoi(argv[2])) : 60;
    if (qEnvironmentVariableIsEmpty("LUMORA_SESSION") || qgetenv("LUMORA_SESSION") != "x11") {
        std::fprintf(stderr, "run inside tests/session/desktop-session.sh x11 -- %s\n", argv[0]);
        return 2;
    }
    const QString loadBefore = loadAverage();

    IcecastProcess icecast;
    if (!icecast.start()) {
        std::fprintf(stderr, "icecast2: %s\n", qPrintable(icecast.errorString()));
        return 1;
    }
    DesktopCatalogue::Stations stations;
    QProcess relayProcess;
    const quint16 relayPort = startRelay(relayProcess, icecast.port());
    if (relayPort == 0) {
        std::fprintf(stderr, "the relay did not start\n");
        return 1;
    }
    for (int t = 0; t < 2; ++t) {
        const QString mount = QStringLiteral("/tone%1.mp3").arg(kTones[t]);
        if (!icecast.startSource(mount, IcecastProcess::Codec::Mp3, QString(), IcecastProcess::kDefaultTimeoutMs,
                                 kTones[t])) {
            std::fprintf(stderr, "%s\n", qPrintable(icecast.errorString()));
            return 1;
        }
        stations.direct[t] = icecast.url(mount);
        stations.relayed[t] = QStringLiteral("http://127.0.0.1:%1%2").arg(relayPort).arg(mount);
    }
    QTemporaryDir catalogue, empty, goodvibesSettings;
    const bool haveGoodvibes = GoodvibesControl::installed();
    if (!DesktopCatalogue::write(catalogue.path(), stations))
        return 1;
    const QString menu = DesktopCatalogue::radioMenu();
    const QStringList entries{DesktopCatalogue::directName(0), DesktopCatalogue::directName(1),
                              DesktopCatalogue::relayedName(0), DesktopCatalogue::relayedName(1)};

    SinkTones sink({kTones[0], kTones[1]});
    if (!sink.start()) {
        std::fprintf(stderr, "nothing from parec on lumora_sink.monitor\n");
        return 1;
    }
    WindowMapWatch watch;
    AtspiMenu atspi;
    if (!watch.isConnected() || !atspi.isConnected()) {
        std::fprintf(stderr, "no X11 display or no accessibility bus\n");
        return 1;
    }

    Row startRow{"start-up: launch to window mapped (ms)", "bare Qt", {}, {}, {}};
    Row cpuRow{"radio: CPU seconds in the run", "mpv", {}, {}, {}};
    Row switchRow{"radio: voluntary context switches/s", "mpv", {}, {}, {}};
    Row pssRow{"radio: PSS at the end (MiB)", "mpv", {}, {}, {}};
    Row rssRow{"radio: RSS at the end (MiB)", "mpv", {}, {}, {}};
    Row clickRow{"click from rest to first sound (ms)", "mpv", {}, {}, {}};
    Row zapRow{"zap to first sound (ms)", "mpv", {}, {}, {}};
    Row relayClickRow{"relay: click from rest to first sound (ms)", "mpv", {}, {}, {}};
    Row relayZapRow{"relay: zap to first sound (ms)", "mpv", {}, {}, {}};
    QStringList glLibraries;
    std::vector<double> barePss;

    // Click from rest, then zap to the other tone; `direct` or through the relay.
    auto lumoraClicks = [&](bool direct, Row &click, Row &zap, Radio *radio) {
        LumoraProcess lumora(atspi);
        if (!lumora.start(catalogue.path(), menu, entries))
            return;
        sleepMs(3000); // at rest, the engine loaded
        waitForSilence(sink);
        auto name = [&](int t) { return direct ? DesktopCatalogue::directName(t) : DesktopCatalogue::relayedName(t); };
        record(click.ours, toFirstSound(sink, kTones[0], [&] { lumora.choose(name(0)); }));
        sleepMs(2000);
        record(zap.ours, toFirstSound(sink, kTones[1], [&] { lumora.choose(name(1)); }));
        if (radio) {
            sleepMs(2000);
            *radio = radioFigures(lumora.pid(), seconds);
            if (glLibraries.isEmpty())
                glLibraries = ProcFigures::glLibraries(lumora.pid());
        }
    };
    auto goodvibesClicks = [&](bool direct, Row &click, Row &zap, Radio *radio) {
        GoodvibesControl goodvibes(goodvibesSettings.path());
        if (!goodvibes.start())
            return;
        sleepMs(3000);
        waitForSilence(sink);
        const QString *urls = direct ? stations.direct : stations.relayed;
        record(click.goodvibes, toFirstSound(sink, kTones[0], [&] { goodvibes.play(urls[0]); }));
        sleepMs(2000);
        record(zap.goodvibes, toFirstSound(sink, kTones[1], [&] { goodvibes.play(urls[1]); }));
        if (radio) {
            sleepMs(2000);
            *radio = radioFigures(goodvibes.pid(), seconds);
        }
    };
    auto mpvClicks = [&](bool direct, Row &click, Row &zap) {
        MpvControl mpv;
        if (!mpv.start())
            return;
        sleepMs(1000);
        waitForSilence(sink);
        const QString *urls = direct ? stations.direct : stations.relayed;
        record(click.theirs, toFirstSound(sink, kTones[0], [&] { mpv.load(urls[0]); }));
        sleepMs(2000);
        record(zap.theirs, toFirstSound(sink, kTones[1], [&] { mpv.load(urls[1]); }));
    };

    for (int i = 0; i < runs; ++i) {
        std::fprintf(stderr, "run %d of %d\n", i + 1, runs);
        record(startRow.theirs, startUp(watch, QStringLiteral(LUMORA_BARE_WINDOW), empty.path()));
        record(startRow.ours, startUp(watch, QStringLiteral(LUMORA_PROGRAM), catalogue.path()));
        record(barePss, bareWindowPss(empty.path()));
        if (haveGoodvibes)
            record(startRow.goodvibes, startUp(watch, QStringLiteral("goodvibes"), empty.path(),
                                               GoodvibesControl::environment(goodvibesSettings.path())));

        Radio ours;
        lumoraClicks(true, clickRow, zapRow, &ours);
        waitForSilence(sink);
        mpvClicks(true, clickRow, zapRow);
        waitForSilence(sink);
        lumoraClicks(false, relayClickRow, relayZapRow, nullptr);
        waitForSilence(sink);
        mpvClicks(false, relayClickRow, relayZapRow);
        waitForSilence(sink);
        Radio peer;
        if (haveGoodvibes) {
            goodvibesClicks(true, clickRow, zapRow, &peer);
            waitForSilence(sink);
            goodvibesClicks(false, relayClickRow, relayZapRow, nullptr);
            waitForSilence(sink);
        }

        QProcess mpv;
        ChildServer::endWithTest(mpv);
        mpv.setStandardOutputFile(QProcess::nullDevice());
        mpv.setStandardErrorFile(QProcess::nullDevice());
        mpv.start(QStringLiteral("mpv"), {QStringLiteral("--no-config"), QStringLiteral("--no-video"), stations.direct[1]});
        Radio theirs;
        if (mpv.waitForStarted(5000) && sink.firstTone(kTones[1], Clock::now(), milliseconds(15000))) {
            sleepMs(2000);
            theirs = radioFigures(mpv.processId(), seconds);
        }
        ChildServer::stop(mpv);
        waitForSilence(sink);
        record(cpuRow.ours, ours.cpuSeconds);
        record(cpuRow.theirs, theirs.cpuSeconds);
        record(switchRow.ours, ours.switchesPerSecond);
        record(switchRow.theirs, theirs.switchesPerSecond);
        record(pssRow.ours, ours.pss);
        record(pssRow.theirs, theirs.pss);
        record(rssRow.ours, ours.rss);
        record(rssRow.theirs, theirs.rss);
        for (auto [row, value] : {std::pair{&cpuRow, peer.cpuSeconds}, std::pair{&switchRow, peer.switchesPerSecond},
                                  std::pair{&pssRow, peer.pss}, std::pair{&rssRow, peer.rss}})
            record(row->goodvibes, value);
    }
    sink.stop();
    ChildServer::stop(relayProcess);

    std::printf("Lumora against its peers in a desktop session (X11, openbox, PulseAudio null sink),\n"
                "median of %d fresh processes; radio run %d s; relay %d ms each way, %d kbit/s\n",
                runs, seconds, kRelayDelayMs, kRelayKbit);
    std::printf("load average (1, 5, 15 min): %s before, %s after\n\n", qPrintable(loadBefore),
                qPrintable(loadAverage()));
    std::printf("%-44s %10s %10s %8s %7s %10s\n", "", "Lumora", "peer", "", "ratio", "Goodvibes");
    for (const Row *r : {&startRow, &cpuRow, &switchRow, &pssRow, &rssRow, &clickRow, &zapRow, &relayClickRow, &relayZapRow}) {
        const double a = median(r->ours), b = median(r->theirs);
        auto cell = [](double v, size_t n, int runs) {
            QString s = v < 0 ? QStringLiteral("n/a") : QString::number(v, 'f', v < 10 ? 2 : 1);
            if (v >= 0 && int(n) < runs)
                s += QStringLiteral("(%1)").arg(n); // fewer runs succeeded
            return s;
        };
        std::printf("%-44s %10s %10s %8s %7s %10s\n", r->label, qPrintable(cell(a, r->ours.size(), runs)),
                    qPrintable(cell(b, r->theirs.size(), runs)), r->peer,
                    a > 0 && b > 0 ? qPrintable(QString::number(a / b, 'f', 2)) : "",
                    qPrintable(cell(median(r->goodvibes), r->goodvibes.size(), runs)));
    }
    std::printf("\nrange over the runs (lowest-highest)\n");
    auto range = [](std::vector<double> v) {
        if (v.empty())
            return QStringLiteral("n/a");
        const auto [lo, hi] = std::minmax_element(v.begin(), v.end());
        return QStringLiteral("%1-%2").arg(*lo, 0, 'f', 1).arg(*hi, 0, 'f', 1);
    };
    for (const Row *r : {&startRow, &cpuRow, &switchRow, &pssRow, &rssRow, &clickRow, &zapRow, &relayClickRow, &relayZapRow})
        std::printf("%-44s %14s %14s %14s\n", r->label, qPrintable(range(r->ours)), qPrintable(range(r->theirs)),
                    qPrintable(range(r->goodvibes)));
    // The program is the toolkit's window and the engine playing: beside the
    // sum of the two parts, what the program adds of its own.
    const double bare = median(barePss), mpvPss = median(pssRow.theirs), ourPss = median(pssRow.ours);
    if (bare > 0 && mpvPss > 0 && ourPss > 0)
        std::printf("\nPSS beside its parts: the bare Qt window at rest %.1f MiB + mpv playing %.1f MiB = %.1f MiB;"
                    " Lumora %.1f MiB (%.2f of the sum)\n",
                    bare, mpvPss, bare + mpvPss, ourPss, ourPss / (bare + mpvPss));
    std::printf("\nOpenGL driver libraries mapped by the program while playing radio:\n  %s\n",
                glLibraries.isEmpty() ? "(none)" : qPrintable(glLibraries.join(QStringLiteral("\n  "))));
    return 0;
}
