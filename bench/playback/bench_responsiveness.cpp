// How long the UI thread goes without its events while the player deals with
// servers that misbehave, and how long the hard cases of playlist reading take:
//   the worst pause of a 5 ms timer while the player waits 2 s on a server
//   that never answers, and until each kind of failure shows as status text;
//   how long closing a player takes while it still waits on such a server;
//   reading the largest playlist answers that once took tens of seconds.
// The test suite checks that these things happen; how fast is measured here.
//
//   bench_responsiveness [runs]

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>

#include "AsxPlaylist.h"
#include "DemoServerProcess.h"
#include "HeapTuning.h"
#include "LatencyProbe.h"
#include "MediaPlayer.h"
#include "PlayerRig.h"

namespace {

struct Figures
{
    std::vector<double> values;

    void add(double v) { values.push_back(v); }
    double median() const
    {
        std::vector<double> v = values;
        std::sort(v.begin(), v.end());
        return v.empty() ? -1 : v[v.size() / 2];
    }
    double worst() const { return values.empty() ? -1 : *std::max_element(values.begin(), values.end()); }
};

void print(const char *what, const Figures &f)
{
    std::printf("%-58s median %8.1f ms   worst %8.1f ms\n", what, f.median(), f.worst());
    std::fflush(stdout);
}

// The worst pause while waiting for a server that never answers, then the time to close the player.
void neverAnswering(const DemoServerProcess &server, Figures &pause, Figures &close)
{
    auto rig = std::make_unique<PlayerRig>(PlayerRig::Options{30.0});
    LatencyProbe probe;
    rig->player->setURL(server.url(QStringLiteral("/fail/hang")));
    QTest::qWait(2000);
    pause.add(double(probe.worstMs()));
    QElapsedTimer clock;
    clock.start();
    rig.reset();
    close.add(double(clock.nsecsElapsed()) / 1e6);
}

// The worst pause from the choice to the failure's status text.
bool failing(const QString &address, Figures &pause)
{
    PlayerRig rig;
    LatencyProbe probe;
    const QString before = rig.player->statusText();
    rig.player->setURL(address);
    QElapsedTimer clock;
    clock.start();
    while (!rig.player->statusText().startsWith(QStringLiteral("无法播放")) && clock.elapsed() < 15000)
        QTest::qWait(10);
    pause.add(double(probe.worstMs()));
    return rig.player->statusText().startsWith(QStringLiteral("无法播放"));
}

double readAsx(const QByteArray &unit)
{
    QByteArray content = "<asx version=\"3.0\">";
    while (content.size() + unit.size() <= AsxPlaylist::kMaxBytes)
        content += unit;
    QElapsedTimer clock;
    clock.start();
    const QStringList refs = AsxPlaylist::references(content, QStringLiteral("http://h/list.asx"));
    Q_UNUSED(refs);
    return double(clock.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char *argv[])
{
    HeapTuning::returnLargeBuffersWhenFreed();
    QApplication app(argc, argv);
    const int runs = argc > 1 ? qMax(1, QByteArray(argv[1]).toInt()) : 5;

    DemoServerProcess server;
    if (!server.start()) {
        std::fprintf(stderr, "the test stream server did not start\n");
        return 1;
    }
    std::printf("%d runs; UI-thread pauses are those of a 5 ms timer\n", runs);

    Figures hangPause, hangClose;
    for (int i = 0; i < runs; ++i)
        neverAnswering(server, hangPause, hangClose);
    print("never-answering server, worst pause over 2 s", hangPause);
    print("closing the player while it waits on that server", hangClose);

    const struct
    {
        const char *name;
        QString address;
    } failures[] = {
        { "404 to its status, worst pause", server.url(QStringLiteral("/fail/404")) },
        { "500 to its status, worst pause", server.url(QStringLiteral("/fail/500")) },
        { "refused to its status, worst pause",
          QStringLiteral("http://127.0.0.1:%1/radio/1.mp3").arg(DemoServerProcess::closedPort()) },
        { "garbage to its status, worst pause", server.url(QStringLiteral("/fail/garbage")) },
        { "ASX 404 to its status, worst pause", server.url(QStringLiteral("/fail/missing.asx")) },
    };
    for (const auto &failure : failures) {
        Figures pause;
        for (int i = 0; i < runs; ++i) {
            if (!failing(failure.address, pause))
                std::printf("  (%s: no failure status within 15 s)\n", failure.name);
        }
        print(failure.name, pause);
    }

    const struct
    {
        const char *name;
        QByteArray unit;
    } answers[] = {
        { "ASX of \"<ref \" to the size limit, reading", "<ref " },
        { "ASX of \"<ref href\" to the size limit, reading", "<ref href" },
        { "ASX of \"<entryref x\" to the size limit, reading", "<entryref x" },
        { "ASX of long-attribute refs to the size limit, reading",
          "<ref title=\"" + QByteArray(300, 'a') + "\" href=\"http://h/a\"><" },
    };
    for (const auto &answer : answers) {
        Figures reading;
        for (int i = 0; i < runs; ++i)
            reading.add(readAsx(answer.unit));
        print(answer.name, reading);
    }
    return 0;
}
