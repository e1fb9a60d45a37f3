// Playback figures against the project's loopback stream server:
//   click to first audio for live MP3, AAC and HLS, side by side with
//   `mpv --no-config --no-video` on the same address (process start
//   included for mpv), median of the runs;
//   zapping: a new selection while another stream plays, to its first audio;
//   resident memory and CPU while playing radio for a while; resident memory
//   after many selections in a row.
//
//   bench_playback [runs] [play-seconds] [selections]

#include <algorithm>
#include <cstdio>
#include <sys/resource.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTest>

#include "DemoServerProcess.h"
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

double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
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

}

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 20;
    const int playSeconds = argc > 2 ? std::max(1, atoi(argv[2])) : 60;
    const int selections = argc > 3 ? std::max(1, atoi(argv[3])) : 500;

    DemoServerProcess server;
    if (!server.start()) {
        std::fprintf(stderr, "the demonstration server did not start\n");
        return 1;
    }
    const bool haveMpv = QProcess::execute(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("command -v mpv >/dev/null")}) == 0;

    MpvCore::Options engine;
    engine.audioOutput = QStringLiteral("null");
    QWidget host;
    host.resize(560, 70);
    MediaPlayer player(&host, engine);
    player.setWidth(8310);
    player.setHeight(975);
    host.show();
    player.controller()->ensureEngine();

    std::printf("click to first audio, median of %d (ms)\n", runs);
    std::printf("%-22s %10s %26s\n", "stream", "Lumora", haveMpv ? "mpv --no-config --no-video" : "(mpv not installed)");
    for (const char *path : {"/radio/1.mp3", "/radio/aac", "/hls/radio.m3u8"}) {
        const QString url = server.url(QString::fromLatin1(path));
        std::vector<double> ours, theirs;
        for (int i = 0; i < runs; ++i) {
            player.setURL(QString());
            QTest::qWait(50);
            ours.push_back(clickToAudio(player, url));
            if (haveMpv)
                theirs.push_back(mpvClickToAudio(url));
        }
        std::printf("%-22s %10.1f %26.1f\n", path, median(ours), haveMpv ? median(theirs) : 0.0);
    }
    std::printf("(mpv's figure includes starting its process)\n\n");

    std::vector<double> zaps;
    for (int i = 0; i < runs; ++i) {
        clickToAudio(player, server.url(QStringLiteral("/radio/%1.mp3").arg(1 + i % 8)));
        QTest::qWait(300);
        zaps.push_back(clickToAudio(player, server.url(QStringLiteral("/radio/%1.mp3").arg(1 + (i + 1) % 8))));
    }
    std::printf("zapping, playing stream to the next stream's first audio, median of %d: %.1f ms\n\n", runs,
                median(zaps));

    clickToAudio(player, server.url(QStringLiteral("/radio/1.mp3")));
    QTest::qWait(2000);
    const double cpu0 = cpuSeconds();
    QElapsedTimer wall;
    wall.start();
    long peak = 0;
    for (int s = 0; s < playSeconds; ++s) {
        QTest::qWait(1000);
        peak = std::max(peak, residentKiB());
    }
    const double cpuShare = (cpuSeconds() - cpu0) / (wall.nsecsElapsed() / 1e9) * 100.0;
    std::printf("playing live MP3 for %d s: RSS %.1f MB (peak %.1f MB), CPU %.1f%% of one core\n", playSeconds,
                residentKiB() / 1024.0, peak / 1024.0, cpuShare);

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
