#include <QTest>

#include <mpv/client.h>

#include "EndDiagnosis.h"

namespace {

using Outcome = EndDiagnosis::Outcome;
using Reason = MpvCore::EndReason;
using Kind = Failure::Kind;

constexpr double kNetworkTimeoutSeconds = 10;
// Long enough that libmpv's "failed to open" was the network timeout running out.
constexpr qint64 kTimedOutMs = 9500;

}

// How the end of a stream is told: from libmpv's end reason and error code,
// the lines it logged since the open, and what is known of the stream.
class TestEndDiagnosis : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void judge_data();
    void judge();
    void keepsTheLatestLines();
    void openTimedOut_data();
    void openTimedOut();
    void holdsOneEnd();
};

void TestEndDiagnosis::judge_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<Reason>("reason");
    QTest::addColumn<int>("mpvError");
    QTest::addColumn<bool>("wasOpen");
    QTest::addColumn<bool>("seekable");
    QTest::addColumn<bool>("reconnecting");
    QTest::addColumn<bool>("sniffed");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<qint64>("sinceOpenMs");
    QTest::addColumn<Outcome>("outcome");
    QTest::addColumn<Failure>("failure");

    const QString live = QStringLiteral("http://127.0.0.1/live");
    const QString file = QStringLiteral("/music/a.mp3");
    const int none = MPV_ERROR_SUCCESS;
    const int loading = MPV_ERROR_LOADING_FAILED;
    const int format = MPV_ERROR_UNKNOWN_FORMAT;

    // Ends the player asked for, or that lead on to another entry.
    for (Reason r : { Reason::Stop, Reason::Quit, Reason::Redirect }) {
        QTest::addRow("%s", QMetaEnum::fromType<Reason>().valueToKey(int(r)))
            << live << r << none << true << false << false << false << QStringList() << qint64(0) << Outcome::Nothing
            << Failure();
    }

    // An address libmpv cannot read may be a playlist without its extension.
    QTest::addRow("http, unreadable") << live << Reason::Error << format << false << false << false << false
                                      << QStringList() << qint64(0) << Outcome::LookForPlaylist << Failure();
    QTest::addRow("HTTPS, unreadable") << QStringLiteral("HTTPS://h/x") << Reason::Error << format << false << false
                                       << false << false << QStringList() << qint64(0) << Outcome::LookForPlaylist
                                       << Failure();
    QTest::addRow("unreadable, looked at already")
        << live << Reason::Error << format << false << false << false << true << QStringList() << qint64(0)
        << Outcome::Failed << Failure(Kind::UnsupportedFormat);
    QTest::addRow("rtsp, unreadable") << QStringLiteral("rtsp://h/x") << Reason::Error << format << false << false
                                      << false << false << QStringList() << qint64(0) << Outcome::Failed
                                      << Failure(Kind::UnsupportedFormat);
    QTest::addRow("file, unreadable") << file << Reason::Error << format << false << false << false << false
                                      << QStringList() << qint64(0) << Outcome::Failed
                                      << Failure(Kind::UnsupportedFormat);

    // A live stream that played, or was being reconnected, drops.
    QTest::addRow("live drops") << live << Reason::Eof << none << true << false << false << false
                                << QStringList { QStringLiteral("Connection reset by peer") } << qint64(60000)
                                << Outcome::Reconnect << Failure(Kind::Dropped);
    QTest::addRow("live errs") << live << Reason::Error << loading << true << false << false << false << QStringList()
                               << qint64(0) << Outcome::Reconnect << Failure(Kind::CannotOpen);
    QTest::addRow("reconnect refused") << live << Reason::Error << loading << false << false << true << false
                                       << QStringList { QStringLiteral("tcp: Connection refused") } << qint64(0)
                                       << Outcome::Reconnect << Failure(Kind::ConnectionRefused);
    QTest::addRow("reconnect unreadable")
        << live << Reason::Error << format << false << false << true << false << QStringList() << qint64(0)
        << Outcome::Reconnect << Failure(Kind::UnsupportedFormat);
    QTest::addRow("reconnect times out") << live << Reason::Error << loading << false << false << true << false
                                         << QStringList() << kTimedOutMs << Outcome::Reconnect
                                         << Failure(Kind::Timeout);

    // What ends normally.
    QTest::addRow("seekable network file ends") << live << Reason::Eof << none << true << true << false << false
                                                << QStringList() << qint64(0) << Outcome::Ended << Failure();
    QTest::addRow("file ends") << file << Reason::Eof << none << true << false << false << false << QStringList()
                               << qint64(0) << Outcome::Ended << Failure();
    QTest::addRow("file breaks") << file << Reason::Error << loading << true << false << false << false
                                 << QStringList { QStringLiteral("Invalid data found when processing input") }
                                 << qint64(0) << Outcome::Failed << Failure(Kind::UnsupportedFormat);
    QTest::addRow("file never opened") << file << Reason::Eof << none << false << false << false << false
                                       << QStringList() << qint64(0) << Outcome::Failed << Failure(Kind::CannotOpen);

    // Why an open failed: the log, the error, and how long it took.
    QTest::addRow("404") << live << Reason::Error << loading << false << false << false << false
                         << QStringList { QStringLiteral("http: HTTP error 404 Not Found") } << qint64(0)
                         << Outcome::Failed << Failure(Kind::NotFound);
    QTest::addRow("503") << live << Reason::Error << loading << false << false << false << false
                         << QStringList { QStringLiteral("something else"), QStringLiteral("HTTP error 503") }
                         << qint64(0) << Outcome::Failed << Failure::http(Kind::ServerError, 503);
    QTest::addRow("404 after the timeout") << live << Reason::Error << loading << false << false << false << false
                                           << QStringList { QStringLiteral("HTTP error 404") } << kTimedOutMs
                                           << Outcome::Failed << Failure(Kind::NotFound);
    QTest::addRow("silent, quick") << live << Reason::Error << loading << false << false << false << false
                                   << QStringList() << qint64(100) << Outcome::Failed << Failure(Kind::CannotOpen);
    QTest::addRow("silent, timed out") << live << Reason::Error << loading << false << false << false << false
                                       << QStringList() << kTimedOutMs << Outcome::Failed << Failure(Kind::Timeout);
    QTest::addRow("never opened, clock unknown")
        << live << Reason::Error << loading << false << false << false << false << QStringList() << qint64(-1)
        << Outcome::Failed << Failure(Kind::CannotOpen);
    QTest::addRow("no audio output") << file << Reason::Error << int(MPV_ERROR_AO_INIT_FAILED) << false << false
                                     << false << false << QStringList() << qint64(0) << Outcome::Failed
                                     << Failure(Kind::NoAudioOutput);
}

void TestEndDiagnosis::judge()
{
    QFETCH(QString, address);
    QFETCH(Reason, reason);
    QFETCH(int, mpvError);
    QFETCH(bool, wasOpen);
    QFETCH(bool, seekable);
    QFETCH(bool, reconnecting);
    QFETCH(bool, sniffed);
    QFETCH(QStringList, lines);
    QFETCH(qint64, sinceOpenMs);
    QFETCH(Outcome, outcome);
    QFETCH(Failure, failure);

    EndDiagnosis diagnosis(kNetworkTimeoutSeconds);
    diagnosis.opened();
    for (const QString &line : lines)
        diagnosis.logged(QStringLiteral("ffmpeg"), line);
    const EndDiagnosis::Verdict verdict
        = diagnosis.judge({ reason, mpvError, wasOpen }, { address, seekable, reconnecting, sniffed }, sinceOpenMs);
    QCOMPARE(verdict.outcome, outcome);
    QVERIFY2(verdict.failure == failure, qPrintable(verdict.failure.text() + QLatin1String(" / ") + failure.text()));
}

void TestEndDiagnosis::keepsTheLatestLines()
{
    EndDiagnosis diagnosis(kNetworkTimeoutSeconds);
    QCOMPARE(diagnosis.sinceOpenMs(), -1);
    diagnosis.logged(QStringLiteral("http"), QStringLiteral("HTTP error 404"));
    for (int i = 0; i < EndDiagnosis::kMaxLines; ++i)
        diagnosis.logged(QStringLiteral("demux"), QStringLiteral("line %1").arg(i));
    // The oldest line went: the cause is near the end.
    QCOMPARE(diagnosis.lines().size(), EndDiagnosis::kMaxLines);
    QCOMPARE(diagnosis.lines().first(), QStringLiteral("demux: line 0"));
    QCOMPARE(diagnosis.fromLog(MPV_ERROR_LOADING_FAILED).kind(), Kind::CannotOpen);

    diagnosis.logged(QStringLiteral("http"), QStringLiteral("HTTP error 403"));
    QCOMPARE(diagnosis.fromLog(MPV_ERROR_LOADING_FAILED).kind(), Kind::Forbidden);
    // A new open says nothing of what the old one logged.
    diagnosis.opened();
    QVERIFY(diagnosis.lines().isEmpty());
    QVERIFY(diagnosis.sinceOpenMs() >= 0);
    QCOMPARE(diagnosis.fromLog(MPV_ERROR_LOADING_FAILED).kind(), Kind::CannotOpen);
}

void TestEndDiagnosis::openTimedOut_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<Failure>("failure");

    // Bytes came, none became sound.
    QTest::addRow("nothing logged") << QStringList() << Failure(Kind::UnsupportedFormat);
    QTest::addRow("refused") << QStringList { QStringLiteral("Connection refused") }
                             << Failure(Kind::ConnectionRefused);
    QTest::addRow("something unknown") << QStringList { QStringLiteral("audio: odd") } << Failure(Kind::CannotOpen);
}

void TestEndDiagnosis::openTimedOut()
{
    QFETCH(QStringList, lines);
    QFETCH(Failure, failure);
    EndDiagnosis diagnosis(kNetworkTimeoutSeconds);
    for (const QString &line : lines)
        diagnosis.logged(QStringLiteral("ffmpeg"), line);
    QCOMPARE(diagnosis.openTimedOut().kind(), failure.kind());
}

void TestEndDiagnosis::holdsOneEnd()
{
    EndDiagnosis diagnosis(kNetworkTimeoutSeconds);
    QVERIFY(!diagnosis.pending());
    QVERIFY(!diagnosis.take());
    diagnosis.hold({ Reason::Eof, 0, true });
    diagnosis.hold({ Reason::Error, MPV_ERROR_LOADING_FAILED, false });
    QVERIFY(diagnosis.pending());
    const auto end = diagnosis.take();
    QVERIFY(end);
    QCOMPARE(end->reason, Reason::Error);
    QCOMPARE(end->wasOpen, false);
    QVERIFY(!diagnosis.pending());
    diagnosis.hold({ Reason::Eof, 0, true });
    diagnosis.drop();
    QVERIFY(!diagnosis.take());
}

QTEST_GUILESS_MAIN(TestEndDiagnosis)
#include "tst_enddiagnosis.moc"
