// Playback figures against the project's loopback stream server, side by
// side with `mpv --no-config --no-video` and `ffplay -nodisp` on the same
// addresses:
//   click to first audio for live MP3, AAC and HLS, median of the runs
//   (process start included for mpv and ffplay);
//   zapping: a new selection while another stream plays, to its first audio
//   (mpv: loadfile over its IPC socket; ffplay cannot switch streams);
//   resident memory and CPU while playing radio; wake-ups per second at rest;
//   resident memory after many selections in a row.
//
//   bench_playback [runs] [play-seconds] [selections]

#include <algorithm>
#include <cstdio>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QTimer>
#include <QLocalSocket>
#include <QTemporaryDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTest>

#include "DemoServerProcess.h"
#include "HeapTuning.h"
#include "MediaPlayer.h"
#include "PlaybackController.h"

namespace {

long residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return -1;
}

struct ProcessUse
{
    long rssKiB = 0;
    double cpuSeconds = 0;
    long switches = 0; // context switches of all threads
};

ProcessUse processUse(qint64 pid)
{
    ProcessUse use;
    const QString base = pid > 0 ? QStringLiteral("/proc/%1").arg(pid) : QStringLiteral("/proc/self");
    QFile status(base + QStringLiteral("/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("VmRSS:"))
                use.rssKiB = line.mid(6).trimmed().split(' ').first().toLong();
        }
    }
    QFile stat(base + QStringLiteral("/stat"));
    if (stat.open(QIODevice::ReadOnly)) {
        const QList<QByteArray> f = stat.readAll().split(')').last().trimmed().split(' ');
        if (f.size() > 13)
            use.cpuSeconds = (f[11].toLongLong() + f[12].toLongLong()) / double(sysconf(_SC_CLK_TCK));
    }
    for (const QString &task : QDir(base + QStringLiteral("/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile t(base + QStringLiteral("/task/") + task + QStringLiteral("/status"));
        if (!t.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray &line : t.readAll().split('\n')) {
            if (line.contains("ctxt_switches:"))
                use.switches += line.split(':').last().trimmed().toLong();
        }
    }
    return use;
}

// Resident memory and CPU share of a process over a stretch of playing,
// and its wake-ups per second.
struct Usage
{
    double rssMB = 0, cpuPercent = 0, wakeups = 0;
};

Usage measure(qint64 pid, int seconds)
{
    const ProcessUse a = processUse(pid);
    QElapsedTimer t;
    t.start();
    // An event loop that sleeps until the timer: QTest::qWait would itself
    // wake the process every few milliseconds.
    QEventLoop loop;
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    const ProcessUse b = processUse(pid);
    const double wall = t.nsecsElapsed() / 1e9;
    return {b.rssKiB / 1024.0, (b.cpuSeconds - a.cpuSeconds) / wall * 100.0, (b.switches - a.switches) / wall};
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// Milliseconds from setURL to the engine's first playback restart (audio
// decoded and handed to the output).
double clickToAudio(MediaPlayer &player, const QString &url)
{
    bool restarted = false;
    auto c = QObject::connect(player.controller()->core(), &MpvCore::playbackRestarted, [&] { restarted = true; });
    QElapsedTimer t;
    t.start();
    player.setURL(url);
    const bool ok = QTest::qWaitFor([&] { return restarted; }, 15000);
    const double ms = t.nsecsElapsed() / 1e6;
    QObject::disconnect(c);
    return ok ? ms : -1;
}

// The same for the mpv command line: from process start to its audio output
// coming up, which it does on the first decoded audio.
double mpvClickToAudio(const QString &url)
{
    QProcess mpv;
    mpv.setProcessChannelMode(QProcess::MergedChannels);
    QElapsedTimer t;
    t.start();
    mpv.start(QStringLiteral("mpv"), {QStringLiteral("--no-config"), QStringLiteral("--no-video"),
                                      QStringLiteral("--ao=null"), QStringLiteral("--ytdl=no"),
                                      QStringLiteral("--length=3"), url});
    QByteArray out;
    double ms = -1;
    while (mpv.waitForReadyRead(15000)) {
        out += mpv.readAll();
        if (out.contains("AO: [")) {
            ms = t.nsecsElapsed() / 1e6;
            break;
        }
    }
    mpv.kill();
    mpv.waitForFinished(3000);
    return ms;
}


// ffplay from process start to its stream information, printed when the
// stream has been probed and decoding starts.
double ffplayClickToAudio(const QString &url)
{
    QProcess ffplay;
    ffplay.setProcessChannelMode(QProcess::MergedChannels);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("SDL_AUDIODRIVER"), QStringLiteral("dummy"));
    ffplay.setProcessEnvironment(env);
    QElapsedTimer t;
    t.start();
    ffplay.start(QStringLiteral("ffplay"), {QStringLiteral("-nodisp"), QStringLiteral("-autoexit"),
                                            QStringLiteral("-hide_banner"), url});
    QByteArray out;
    double ms = -1;
    while (ffplay.waitForReadyRead(15000)) {
        out += ffplay.readAll();
        if (out.contains("Audio:")) {
            ms = t.nsecsElapsed() / 1e6;
            break;
        }
    }
    ffplay.kill();
    ffplay.waitForFinished(3000);
    return ms;
}

// An mpv process controlled through its IPC socket, for zapping.
class MpvIpc
{
public:
    bool start()
    {
        m_socketPath = m_dir.filePath(QStringLiteral("mpv.sock"));
        m_mpv.start(QStringLiteral("mpv"), {QStringLiteral("--no-config"), QStringLiteral("--no-video"),
                                            QStringLiteral("--ao=null"), QStringLiteral("--idle=yes"),
                                            QStringLiteral("--ytdl=no"), QStringLiteral("--no-terminal"),
                                            QStringLiteral("--input-ipc-server=") + m_socketPath});
        if (!m_mpv.waitForStarted(5000))
            return false;
        for (int i = 0; i < 50 && m_socket.state() != QLocalSocket::ConnectedState; ++i) {
            QTest::qWait(100);
            m_socket.connectToServer(m_socketPath);
            m_socket.waitForConnected(200);
        }
        return m_socket.state() == QLocalSocket::ConnectedState;
    }
    ~MpvIpc()
    {
        m_mpv.kill();
        m_mpv.waitForFinished(3000);
    }
    qint64 pid() const { return m_mpv.processId(); }
    double load(const QString &url)
    {
        m_socket.readAll();
        QElapsedTimer t;
        t.start();
        m_socket.write("{\"command\": [\"loadfile\", \"" + url.toUtf8() + "\"]}\n");
        m_socket.flush();
        QByteArray in;
        while (t.elapsed() < 15000) {
            if (m_socket.waitForReadyRead(100))
                in += m_socket.readAll();
            if (in.contains("\"playback-restart\""))
                return t.nsecsElapsed() / 1e6;
        }
        return -1;
    }

private:
    QTemporaryDir m_dir;
    QString m_socketPath;
    QProcess m_mpv;
    QLocalSocket m_socket;
};

bool have(const char *program)
{
    return QProcess::execute(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("command -v %1 >/dev/null").arg(QLatin1String(program))}) == 0;
}

}

int main(int argc, char *argv[])
{
    HeapTuning::returnLargeBuffersWhenFreed(); // as the program does
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 20;
    const int playSeconds = argc > 2 ? std::max(1, atoi(argv[2])) : 60;
    const int selections = argc > 3 ? std::max(1, atoi(argv[3])) : 500;

    DemoServerProcess server;
    if (!server.start()) {
        std::fprintf(stderr, "the demonstration server did not start\n");
        return 1;
    }
    const bool haveMpv = have("mpv");
    const bool haveFfplay = have("ffplay");

    MpvCore::Options engine;
    engine.audioOutput = QStringLiteral("null");
    QWidget host;
    host.resize(560, 70);
    MediaPlayer player(&host, engine);
    player.setWidth(8310);
    player.setHeight(975);
    host.show();
    player.controller()->ensureEngine();

    std::printf("%-34s %10s %12s %14s\n", "", "Lumora", "mpv", "ffplay");
    auto row = [](const char *label, double ours, double mpv, double ffplay, const char *unit) {
        auto cell = [](double v) { return v < 0 ? QStringLiteral("n/a") : QString::number(v, 'f', 1); };
        std::printf("%-34s %10s %12s %14s  %s\n", label, qPrintable(cell(ours)), qPrintable(cell(mpv)),
                    qPrintable(cell(ffplay)), unit);
    };
    for (const char *path : {"/radio/1.mp3", "/radio/aac", "/hls/radio.m3u8"}) {
        const QString url = server.url(QString::fromLatin1(path));
        std::vector<double> ours, theirs, ffplays;
        for (int i = 0; i < runs; ++i) {
            player.setURL(QString());
            QTest::qWait(50);
            ours.push_back(clickToAudio(player, url));
            if (haveMpv)
                theirs.push_back(mpvClickToAudio(url));
            if (haveFfplay)
                ffplays.push_back(ffplayClickToAudio(url));
        }
        row(qPrintable(QStringLiteral("click to first audio %1").arg(QLatin1String(path))), median(ours),
            haveMpv ? median(theirs) : -1, haveFfplay ? median(ffplays) : -1, "ms, median");
    }

    std::vector<double> zaps, mpvZaps;
    MpvIpc ipc;
    const bool ipcUp = haveMpv && ipc.start();
    for (int i = 0; i < runs; ++i) {
        const QString from = server.url(QStringLiteral("/radio/%1.mp3").arg(1 + i % 8));
        const QString to = server.url(QStringLiteral("/radio/%1.mp3").arg(1 + (i + 1) % 8));
        clickToAudio(player, from);
        QTest::qWait(300);
        zaps.push_back(clickToAudio(player, to));
        if (ipcUp) {
            ipc.load(from);
            QTest::qWait(300);
            mpvZaps.push_back(ipc.load(to));
        }
    }
    row("zapping, stream to stream", median(zaps), ipcUp ? median(mpvZaps) : -1, -1, "ms, median");

    // At rest: nothing playing.
    player.setURL(QString());
    QTest::qWait(2000);
    const Usage rest = measure(0, 10);
    Usage mpvRest{-1, -1, -1};
    if (ipcUp) {
        ipc.load(QString()); // an empty loadfile leaves it idle
        QTest::qWait(2000);
        mpvRest = measure(ipc.pid(), 10);
    }

    clickToAudio(player, server.url(QStringLiteral("/radio/1.mp3")));
    QTest::qWait(2000);
    const Usage ours = measure(0, playSeconds);
    player.setURL(QString());
    Usage mpvPlay{-1, -1, -1}, ffplayPlay{-1, -1, -1};
    if (haveMpv) {
        QProcess mpv;
        mpv.start(QStringLiteral("mpv"), {QStringLiteral("--no-config"), QStringLiteral("--no-video"),
                                          QStringLiteral("--ao=null"), QStringLiteral("--no-terminal"),
                                          server.url(QStringLiteral("/radio/1.mp3"))});
        QTest::qWait(2000);
        mpvPlay = measure(mpv.processId(), playSeconds);
        mpv.kill();
        mpv.waitForFinished(3000);
    }
    if (haveFfplay) {
        QProcess ffplay;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("SDL_AUDIODRIVER"), QStringLiteral("dummy"));
        ffplay.setProcessEnvironment(env);
        ffplay.start(QStringLiteral("ffplay"), {QStringLiteral("-nodisp"), QStringLiteral("-loglevel"),
                                                QStringLiteral("quiet"), server.url(QStringLiteral("/radio/1.mp3"))});
        QTest::qWait(2000);
        ffplayPlay = measure(ffplay.processId(), playSeconds);
        ffplay.kill();
        ffplay.waitForFinished(3000);
    }
    row(qPrintable(QStringLiteral("RSS playing live MP3 (%1 s)").arg(playSeconds)), ours.rssMB, mpvPlay.rssMB,
        ffplayPlay.rssMB, "MB");
    row("CPU playing live MP3", ours.cpuPercent, mpvPlay.cpuPercent, ffplayPlay.cpuPercent, "% of one core");
    row("CPU at rest", rest.cpuPercent, mpvRest.cpuPercent, -1, "% of one core");
    row("wake-ups at rest", rest.wakeups, mpvRest.wakeups, -1, "per second");
    std::printf("(mpv and ffplay click figures include starting their process; Lumora's window is a real Qt\n"
                " window with the same engine as the program; mpv at rest is `--idle`, ffplay has no rest)\n\n");

    clickToAudio(player, server.url(QStringLiteral("/radio/1.mp3")));
    QTest::qWait(2000);
    const long before = residentKiB();
    for (int i = 0; i < selections; ++i) {
        const QString paths[] = {QStringLiteral("/radio/%1.mp3").arg(1 + i % 8), QStringLiteral("/radio/aac"),
                                 QStringLiteral("/fail/404"), QStringLiteral("/hls/radio.m3u8")};
        player.setURL(server.url(paths[i % 4]));
        QTest::qWait(i % 10 == 0 ? 200 : 20);
    }
    clickToAudio(player, server.url(QStringLiteral("/radio/1.mp3")));
    QTest::qWait(3000);
    std::printf("RSS after %d selections in a row: %.1f MB (before: %.1f MB, growth %.1f MB)\n", selections,
                residentKiB() / 1024.0, before / 1024.0, (residentKiB() - before) / 1024.0);
    return 0;
}
