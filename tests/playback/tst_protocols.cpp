#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTest>

#include <memory>

#include "DemoServerProcess.h"
#include "MediaPlayer.h"
#include "MpvCore.h"
#include "PlaybackController.h"
#include "PlayerRig.h"
#include "RtspServerProcess.h"

namespace {

using State = PlayerState::State;

bool noDialogShown()
{
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (qobject_cast<QDialog *>(w) && w->isVisible())
            return false;
    }
    return true;
}

// Whether something listens on 127.0.0.1:port, read from the kernel's table so
// that no probe connection takes the place of the one client a listener serves.
bool isListening(quint16 port)
{
    QFile table(QStringLiteral("/proc/net/tcp"));
    if (!table.open(QIODevice::ReadOnly))
        return false;
    const QByteArray local = "0100007F:" + QByteArray::number(port, 16).toUpper().rightJustified(4, '0');
    for (const QByteArray &line : table.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() > 3 && fields.at(1) == local && fields.at(3) == "0A")
            return true;
    }
    return false;
}

}

// rtsp://, rtmp://, mms:// and mmsh:// through the player with a real libmpv,
// each against a live stream on 127.0.0.1: RTSP from GStreamer's RTSP server,
// RTMP from ffmpeg acting as a one-client RTMP server, and MMS over HTTP from
// the test stream server (no packaged server speaks it).
class TestProtocols : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void plays_data();
    void plays();

private:
    // An RTMP server for one client, looping radio 1 as AAC in FLV, live-paced.
    bool startRtmpServer(QProcess *ffmpeg, QString *address);

    DemoServerProcess m_server;
    RtspServerProcess m_rtsp;
};

void TestProtocols::initTestCase()
{
    QVERIFY2(m_server.start(), qPrintable(m_server.errorString()));
    QVERIFY2(m_rtsp.start(), qPrintable(m_rtsp.errorString()));
}

bool TestProtocols::startRtmpServer(QProcess *ffmpeg, QString *address)
{
    const QString program = QStandardPaths::findExecutable(QStringLiteral("ffmpeg"));
    if (program.isEmpty())
        return false;
    const quint16 port = DemoServerProcess::closedPort();
    *address = QStringLiteral("rtmp://127.0.0.1:%1/live/demo").arg(port);
    ffmpeg->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    ffmpeg->start(program,
        { QStringLiteral("-nostdin"), QStringLiteral("-loglevel"), QStringLiteral("error"), QStringLiteral("-re"),
            QStringLiteral("-stream_loop"), QStringLiteral("-1"), QStringLiteral("-i"),
            m_server.mediaDirectory() + QStringLiteral("/radio-1.mp3"), QStringLiteral("-c:a"), QStringLiteral("aac"),
            QStringLiteral("-b:a"), QStringLiteral("64k"), QStringLiteral("-f"), QStringLiteral("flv"),
            QStringLiteral("-listen"), QStringLiteral("1"), *address });
    if (!ffmpeg->waitForStarted(10000))
        return false;
    return QTest::qWaitFor([&] { return isListening(port) || ffmpeg->state() == QProcess::NotRunning; }, 10000)
        && ffmpeg->state() == QProcess::Running;
}

void TestProtocols::plays_data()
{
    QTest::addColumn<QString>("address");
    QTest::newRow("rtsp mp3") << m_rtsp.url(QStringLiteral("/tone.mp3"));
    QTest::newRow("rtsp aac") << m_rtsp.url(QStringLiteral("/tone.aac"));
    // mms:// is MMS over HTTP to libmpv, on the WMA station's own path.
    QTest::newRow("mms") << QStringLiteral("mms://127.0.0.1:%1/radio/wma").arg(m_server.port());
    QTest::newRow("mmsh") << QStringLiteral("mmsh://127.0.0.1:%1/mms/radio").arg(m_server.port());
    QTest::newRow("rtmp") << QString();
}

void TestProtocols::plays()
{
    QFETCH(QString, address);
    QProcess ffmpeg;
    const auto stopFfmpeg = qScopeGuard([&] {
        if (ffmpeg.state() != QProcess::NotRunning) {
            ffmpeg.kill();
            ffmpeg.waitForFinished(5000);
        }
    });
    if (address.isEmpty())
        QVERIFY2(startRtmpServer(&ffmpeg, &address), "ffmpeg did not start listening for RTMP");

    PlayerRig rig(PlayerRig::Options{10.0});
    rig.player->setURL(address);
    QVERIFY2(rig.plays(1.0, 20000),
        qPrintable(
            QStringLiteral("%1: state %2, playback time %3").arg(address).arg(int(rig.state())).arg(rig.playbackTime)));
    QVERIFY(noDialogShown());
}

QTEST_MAIN(TestProtocols)
#include "tst_protocols.moc"
