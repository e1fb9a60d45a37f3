#include <QLoggingCategory>
#include <QMetaEnum>
#include <QSignalSpy>
#include <QTest>

#include <mpv/client.h>

#include "FailureReason.h"
#include "PlayerState.h"
#include "ReconnectPolicy.h"
#include "Twips.h"

// The parts of the player that decide what the user reads and when the
// player tries again, without an engine.

namespace {
using State = PlayerState::State;
using Event = PlayerState::Event;

// Drives a fresh state to `to` the way the player gets there.
void reach(PlayerState &s, State to)
{
    if (to == State::NoEngine)
        return;
    if (to == State::LoadingEngine) {
        s.loadingEngine();
        return;
    }
    if (to == State::Unavailable) {
        s.engineUnavailable(Failure::engineUnavailable(QStringLiteral("无法加载 libmpv.so.2")));
        return;
    }
    s.engineReady();
    switch (to) {
    case State::Opening:
        s.opening();
        break;
    case State::FetchingPlaylist:
        s.opening();
        s.fetchingPlaylist();
        break;
    case State::Buffering:
    case State::Playing:
    case State::Paused:
    case State::Reconnecting:
    case State::Ended:
        s.opening();
        s.opened();
        if (to == State::Playing || to == State::Paused)
            s.playing();
        if (to == State::Paused)
            s.paused();
        if (to == State::Reconnecting)
            s.reconnecting(1, 1000);
        if (to == State::Ended)
            s.ended();
        break;
    case State::Failed:
        s.failed(Failure(Failure::Kind::NoData));
        break;
    case State::Stopped:
        s.stopped();
        break;
    default:
        break;
    }
}

void fire(PlayerState &s, Event event)
{
    switch (event) {
    case Event::LoadingEngine: s.loadingEngine(); break;
    case Event::EngineReady: s.engineReady(); break;
    case Event::EngineUnavailable: s.engineUnavailable(Failure::engineUnavailable(QString())); break;
    case Event::Opening: s.opening(); break;
    case Event::FetchingPlaylist: s.fetchingPlaylist(); break;
    case Event::Opened: s.opened(); break;
    case Event::Stalled: s.stalled(); break;
    case Event::BufferFilled: s.bufferFilled(50); break;
    case Event::Playing: s.playing(); break;
    case Event::Paused: s.paused(); break;
    case Event::Resumed: s.resumed(); break;
    case Event::Reconnecting: s.reconnecting(2, 2000); break;
    case Event::Failed: s.failed(Failure(Failure::Kind::NoData)); break;
    case Event::Stopped: s.stopped(); break;
    case Event::Ended: s.ended(); break;
    case Event::Title: s.setTitle(QStringLiteral("标题")); break;
    case Event::BehindLive: s.setBehindLive(5); break;
    }
}

}

class TestPlaybackStatus : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void statusTexts();
    void transitionsApplyOnlyWhereTheyMay();
    void eventsNameTheStatesTheyComeFrom_data();
    void eventsNameTheStatesTheyComeFrom();
    void titleShowsOnlyWhilePlaying();
    void behindLiveGoesWithTheStream();
    void volumeAndMute();
    void failureReasons_data();
    void failureReasons();
    void failureTexts_data();
    void failureTexts();
    void reconnectBackOffIsBounded();
    void twipsToPixels_data();
    void twipsToPixels();
};

void TestPlaybackStatus::statusTexts()
{
    PlayerState s;
    QCOMPARE(s.state(), State::NoEngine);
    QCOMPARE(s.text(), QStringLiteral("就绪"));
    QSignalSpy texts(&s, &PlayerState::textChanged);
    QSignalSpy states(&s, &PlayerState::stateChanged);

    s.loadingEngine();
    s.engineReady();
    QCOMPARE(s.state(), State::Idle);
    QCOMPARE(s.text(), QStringLiteral("就绪"));
    s.opening();
    QCOMPARE(s.text(), QStringLiteral("正在连接…"));
    s.fetchingPlaylist();
    QCOMPARE(s.text(), QStringLiteral("正在连接…"));
    s.opened();
    QCOMPARE(s.text(), QStringLiteral("正在缓冲 0%"));
    s.bufferFilled(42);
    QCOMPARE(s.text(), QStringLiteral("正在缓冲 42%"));
    s.bufferFilled(250);
    QCOMPARE(s.text(), QStringLiteral("正在缓冲 100%"));
    s.playing();
    QCOMPARE(s.text(), QStringLiteral("正在播放"));
    s.paused();
    QCOMPARE(s.text(), QStringLiteral("已暂停"));
    s.stopped();
    QCOMPARE(s.text(), QStringLiteral("已停止"));
    s.opening();
    s.opened();
    s.reconnecting(3, 4000);
    QCOMPARE(s.text(), QStringLiteral("连接中断,4 秒后重新连接(第 3 次)"));
    s.reconnecting(3, 0);
    QCOMPARE(s.text(), QStringLiteral("正在重新连接(第 3 次)…"));
    s.failed(Failure(Failure::Kind::ConnectionRefused));
    QCOMPARE(s.text(), QStringLiteral("无法播放:连接被拒绝"));
    s.opening();
    s.opened();
    s.ended();
    QCOMPARE(s.text(), QStringLiteral("播放完毕"));
    s.engineUnavailable(Failure::engineUnavailable(QStringLiteral("无法创建播放引擎")));
    QCOMPARE(s.text(), QStringLiteral("播放器不可用:无法创建播放引擎"));
    // Each text once; a state that keeps its text (fetching after opening)
    // or a text that keeps its state (the buffer filling) is one signal.
    QCOMPARE(texts.count(), 16);
    QCOMPARE(texts.last().first().toString(), s.text());
    QCOMPARE(states.count(), 16);
    QCOMPARE(states.last().first().value<State>(), State::Unavailable);
}

void TestPlaybackStatus::transitionsApplyOnlyWhereTheyMay()
{
    PlayerState s;
    // Engine events that come late change nothing once a choice was made.
    s.loadingEngine();
    s.opening();
    s.engineReady();
    QCOMPARE(s.state(), State::Opening);
    // Stream events only while a stream is open.
    s.playing();
    s.paused();
    s.resumed();
    s.stalled();
    s.bufferFilled(50);
    QCOMPARE(s.state(), State::Opening);
    s.opened();
    s.playing();
    QVERIFY(s.isOpen() && s.isActive());
    // A paused stream that restarts or refills stays paused.
    s.paused();
    s.playing();
    s.stalled();
    QCOMPARE(s.state(), State::Paused);
    QVERIFY(s.isOpen() && !s.isActive());
    s.resumed();
    QCOMPARE(s.state(), State::Playing);
    s.stalled();
    QCOMPARE(s.text(), QStringLiteral("正在缓冲 0%"));

    // An engine that cannot start is final.
    s.engineUnavailable(Failure::engineUnavailable(QStringLiteral("无法加载 libmpv.so.2")));
    QSignalSpy changes(&s, &PlayerState::stateChanged);
    s.stopped();
    s.opening();
    s.failed(Failure());
    QCOMPARE(s.state(), State::Unavailable);
    QCOMPARE(changes.count(), 0);
    QCOMPARE(s.failure().kind(), Failure::Kind::EngineUnavailable);
}

void TestPlaybackStatus::eventsNameTheStatesTheyComeFrom_data()
{
    QTest::addColumn<State>("from");
    QTest::addColumn<Event>("event");
    QTest::addColumn<State>("to"); // the same as from: refused or ignored
    QTest::addColumn<bool>("logged");
    auto row = [](const char *name, State from, Event event, State to, bool logged = false) {
        QTest::newRow(name) << from << event << to << logged;
    };
    row("a choice before the engine", State::NoEngine, Event::Opening, State::Opening);
    row("a choice while one plays", State::Playing, Event::Opening, State::Opening);
    row("a choice after a failure", State::Failed, Event::Opening, State::Opening);
    row("nothing after the engine could not start", State::Unavailable, Event::Opening, State::Unavailable);
    row("the engine after a choice waits on it", State::Opening, Event::EngineReady, State::Opening);
    row("the engine loaded twice", State::Idle, Event::LoadingEngine, State::Idle, true);
    row("a playlist inside a playlist", State::FetchingPlaylist, Event::FetchingPlaylist, State::FetchingPlaylist);
    row("buffer fill while playing", State::Playing, Event::BufferFilled, State::Playing);
    row("buffer fill while buffering", State::Buffering, Event::BufferFilled, State::Buffering);
    row("a pause before anything is open", State::Opening, Event::Paused, State::Opening, true);
    row("a restart while paused", State::Paused, Event::Playing, State::Paused);
    row("playing before anything is open", State::Opening, Event::Playing, State::Opening, true);
    row("resumed", State::Paused, Event::Resumed, State::Playing);
    row("a stream opened after a stop", State::Stopped, Event::Opened, State::Stopped, true);
    row("an end after a failure", State::Failed, Event::Ended, State::Failed, true);
    row("a drop while playing", State::Playing, Event::Reconnecting, State::Reconnecting);
    row("the next attempt", State::Reconnecting, Event::Reconnecting, State::Reconnecting);
    row("stopped while reconnecting", State::Reconnecting, Event::Stopped, State::Stopped);
    row("a title before the engine", State::NoEngine, Event::Title, State::NoEngine, true);
    row("held while paused", State::Paused, Event::BehindLive, State::Paused);
    row("what was held comes after a stop", State::Stopped, Event::BehindLive, State::Stopped);
}

void TestPlaybackStatus::eventsNameTheStatesTheyComeFrom()
{
    QFETCH(State, from);
    QFETCH(Event, event);
    QFETCH(State, to);
    QFETCH(bool, logged);
    QLoggingCategory::setFilterRules(QStringLiteral("lumora.player.debug=true"));
    PlayerState s;
    reach(s, from);
    QCOMPARE(s.state(), from);
    static QStringList messages;
    messages.clear();
    const QtMessageHandler previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &m) {
        messages << m;
    });
    fire(s, event);
    qInstallMessageHandler(previous);
    QCOMPARE(s.state(), to);
    QCOMPARE(!messages.isEmpty(), logged);
    if (logged) {
        // Both are named: the state it stayed in and the event it turned away.
        QVERIFY(messages.first().contains(QLatin1String(QMetaEnum::fromType<State>().valueToKey(int(from)))));
        QVERIFY(messages.first().contains(QLatin1String(QMetaEnum::fromType<Event>().valueToKey(int(event)))));
    }
    QLoggingCategory::setFilterRules(QString());
}

void TestPlaybackStatus::behindLiveGoesWithTheStream()
{
    PlayerState s;
    reach(s, State::Paused);
    QSignalSpy changes(&s, &PlayerState::behindLiveChanged);
    s.setBehindLive(83);
    QVERIFY(s.isBehindLive());
    s.resumed();
    QCOMPARE(s.behindLiveSeconds(), 83); // playing on from where it paused
    s.setBehindLive(83);
    QCOMPARE(changes.size(), 1);
    s.opening(); // another choice is live again
    QCOMPARE(s.behindLiveSeconds(), 0);
    QCOMPARE(changes.size(), 2);
    QCOMPARE(changes.last().first().toInt(), 0);
    s.setBehindLive(10); // the old stream's cache, after it was left
    QCOMPARE(s.behindLiveSeconds(), 0);
}

void TestPlaybackStatus::titleShowsOnlyWhilePlaying()
{
    PlayerState s;
    s.opening();
    QSignalSpy texts(&s, &PlayerState::textChanged);
    QSignalSpy titles(&s, &PlayerState::titleChanged);
    s.setTitle(QStringLiteral("演示电台 1 - 第 2 首"));
    QCOMPARE(texts.count(), 0);
    QCOMPARE(titles.count(), 1);
    QCOMPARE(s.text(), QStringLiteral("正在连接…"));
    s.opened();
    s.playing();
    QCOMPARE(s.text(), QStringLiteral("正在播放:演示电台 1 - 第 2 首"));
    s.setTitle(QStringLiteral("下一首"));
    QCOMPARE(s.text(), QStringLiteral("正在播放:下一首"));
    s.setTitle(QStringLiteral("下一首"));
    QCOMPARE(titles.count(), 2);
    QCOMPARE(texts.count(), 3);
    // A new address starts without the old title.
    s.opening();
    QCOMPARE(titles.count(), 3);
    QCOMPARE(titles.last().first().toString(), QString());
    s.opened();
    s.playing();
    QCOMPARE(s.text(), QStringLiteral("正在播放"));
}

void TestPlaybackStatus::volumeAndMute()
{
    PlayerState s;
    QCOMPARE(s.volume(), PlayerState::kDefaultVolume);
    QVERIFY(!s.mute());
    QSignalSpy volumes(&s, &PlayerState::volumeChanged);
    QSignalSpy mutes(&s, &PlayerState::muteChanged);
    s.setVolume(250);
    s.setVolume(100);
    s.setVolume(-3);
    s.setMute(true);
    s.setMute(true);
    QCOMPARE(s.volume(), 0);
    QCOMPARE(volumes.count(), 2);
    QCOMPARE(volumes.first().first().toInt(), 100);
    QCOMPARE(mutes.count(), 1);
    // Neither is part of what the player is doing.
    QCOMPARE(s.state(), State::NoEngine);
}

void TestPlaybackStatus::failureReasons_data()
{
    QTest::addColumn<QStringList>("log");
    QTest::addColumn<int>("error");
    QTest::addColumn<QString>("reason");

    const int loading = MPV_ERROR_LOADING_FAILED;
    QTest::newRow("404") << QStringList{QStringLiteral("ffmpeg: http: HTTP error 404 Not Found"),
                                        QStringLiteral("stream: Failed to open http://x/a.")}
                         << loading << QStringLiteral("未找到(404)");
    QTest::newRow("500") << QStringList{QStringLiteral("ffmpeg: http: HTTP error 500 Internal Server Error")}
                         << loading << QStringLiteral("服务器错误(500)");
    QTest::newRow("other http") << QStringList{QStringLiteral("ffmpeg: http: HTTP error 410 Gone")} << loading
                                << QStringLiteral("服务器返回错误(410)");
    QTest::newRow("refused") << QStringList{QStringLiteral(
        "ffmpeg: tcp: Connection to tcp://127.0.0.1:1 failed: Connection refused")}
                             << loading << QStringLiteral("连接被拒绝");
    QTest::newRow("timeout") << QStringList{QStringLiteral("ffmpeg: tcp: Connection timed out")} << loading
                             << QStringLiteral("连接超时");
    QTest::newRow("dns") << QStringList{QStringLiteral("ffmpeg: tcp: Failed to resolve hostname x: Name or service not known")}
                         << loading << QStringLiteral("找不到服务器");
    QTest::newRow("format by log") << QStringList{QStringLiteral("lavf: No format found, try lowering probescore")}
                                   << loading << QStringLiteral("不支持的格式");
    QTest::newRow("format by code") << QStringList{} << int(MPV_ERROR_UNKNOWN_FORMAT)
                                    << QStringLiteral("不支持的格式");
    QTest::newRow("the cause wins over a later generic line")
        << QStringList{QStringLiteral("ffmpeg: http: HTTP error 404 Not Found"),
                       QStringLiteral("lavf: No format found")}
        << int(MPV_ERROR_UNKNOWN_FORMAT) << QStringLiteral("未找到(404)");
    QTest::newRow("nothing known") << QStringList{} << loading << QStringLiteral("无法打开");
}

void TestPlaybackStatus::failureReasons()
{
    QFETCH(QStringList, log);
    QFETCH(int, error);
    QFETCH(QString, reason);
    QCOMPARE(FailureReason::describe(log, error).text(), reason);
}

void TestPlaybackStatus::failureTexts_data()
{
    QTest::addColumn<Failure>("failure");
    QTest::addColumn<QString>("text");
    using Kind = Failure::Kind;
    QTest::newRow("status of a kind") << Failure(Kind::Forbidden) << QStringLiteral("拒绝访问(403)");
    QTest::newRow("status given") << Failure::http(Kind::HttpError, 418) << QStringLiteral("服务器返回错误(418)");
    QTest::newRow("scheme") << Failure::refusedAddress(QStringLiteral("lavfi"))
                            << QStringLiteral("不支持的地址类型(lavfi:)");
    QTest::newRow("standard input") << Failure::refusedAddress(QStringLiteral("-"))
                                    << QStringLiteral("不支持的地址类型(-)");
    QTest::newRow("engine's words") << Failure::engineUnavailable(QStringLiteral("无法加载 libmpv.so.2"))
                                    << QStringLiteral("无法加载 libmpv.so.2");
    QTest::newRow("dropped") << Failure(Kind::Dropped) << QStringLiteral("连接中断");
    QTest::newRow("dropped, with what kept it down")
        << Failure::droppedFor(Failure::http(Kind::ServerError, 503)) << QStringLiteral("连接中断,服务器错误(503)");
}

void TestPlaybackStatus::failureTexts()
{
    QFETCH(Failure, failure);
    QFETCH(QString, text);
    QCOMPARE(failure.text(), text);
    // What code decides by survives the wording.
    if (failure.cause()) {
        QCOMPARE(failure.kind(), Failure::Kind::Dropped);
        QCOMPARE(*failure.cause(), Failure::Kind::ServerError);
        QCOMPARE(failure.httpStatus(), 503);
    }
}

void TestPlaybackStatus::reconnectBackOffIsBounded()
{
    ReconnectPolicy policy;
    QList<int> delays;
    for (int i = 0; i < ReconnectPolicy::kMaxAttempts; ++i)
        delays.append(policy.nextDelayMs(0));
    QCOMPARE(delays, (QList<int>{1000, 2000, 4000, 8000, 16000, 30000, 30000, 30000}));
    QCOMPARE(policy.nextDelayMs(0), -1);

    // A stream that played long enough since its last drop starts over.
    QCOMPARE(policy.nextDelayMs(ReconnectPolicy::kHealthyAfterMs), 1000);
    QCOMPARE(policy.attempt(), 1);
    QCOMPARE(policy.nextDelayMs(500), 2000);
    policy.reset();
    QCOMPARE(policy.nextDelayMs(0), 1000);
}

void TestPlaybackStatus::twipsToPixels_data()
{
    QTest::addColumn<double>("twips");
    QTest::addColumn<double>("dpi");
    QTest::addColumn<int>("pixels");
    QTest::newRow("design width at 96 dpi") << 8175.0 << 96.0 << 545;
    QTest::newRow("design height at 96 dpi") << 975.0 << 96.0 << 65;
    QTest::newRow("client width at 96 dpi") << 8190.0 << 96.0 << 546;
    QTest::newRow("client height at 96 dpi") << 960.0 << 96.0 << 64;
    QTest::newRow("radio width at 96 dpi") << 8310.0 << 96.0 << 554;
    QTest::newRow("tv at 96 dpi") << 15200.0 << 96.0 << 1013;
    QTest::newRow("design width at 144 dpi") << 8175.0 << 144.0 << 818;
    QTest::newRow("design height at 192 dpi") << 975.0 << 192.0 << 130;
    QTest::newRow("zero") << 0.0 << 120.0 << 0;
}

void TestPlaybackStatus::twipsToPixels()
{
    QFETCH(double, twips);
    QFETCH(double, dpi);
    QFETCH(int, pixels);
    QCOMPARE(Twips::toPixels(twips, dpi), pixels);
}

QTEST_GUILESS_MAIN(TestPlaybackStatus)
#include "tst_playbackstatus.moc"
