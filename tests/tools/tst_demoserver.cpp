#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <memory>
#include <vector>

#include "DemoServerProcess.h"

namespace {

// What came back on one raw connection.
struct Exchange
{
    QByteArray head;
    QByteArray body;
    bool closed = false;
    qint64 closedAfterMs = -1;

    int status() const
    {
        const QList<QByteArray> words = head.left(head.indexOf("\r\n")).split(' ');
        return words.size() >= 2 ? words.at(1).toInt() : 0;
    }

    QByteArray header(const QByteArray &name) const
    {
        for (const QByteArray &line : head.split('\n')) {
            const qsizetype colon = line.indexOf(':');
            if (colon > 0 && line.left(colon).trimmed().toLower() == name.toLower())
                return line.mid(colon + 1).trimmed();
        }
        return {};
    }
};

// Sends `request` and reads until the server closes, `maxBody` bytes of body
// have come or `timeoutMs` has passed, whichever is first.
Exchange exchange(quint16 port, const QByteArray &request, qsizetype maxBody, int timeoutMs)
{
    Exchange result;
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(3000))
        return result;
    socket.write(request);
    QElapsedTimer clock;
    clock.start();
    QByteArray data;
    while (clock.elapsed() < timeoutMs) {
        const qsizetype split = data.indexOf("\r\n\r\n");
        if (split >= 0 && data.size() - split - 4 >= maxBody)
            break;
        if (socket.state() != QAbstractSocket::ConnectedState) {
            result.closed = true;
            result.closedAfterMs = clock.elapsed();
            break;
        }
        socket.waitForReadyRead(int(qMax<qint64>(1, qMin<qint64>(200, timeoutMs - clock.elapsed()))));
        data += socket.readAll();
    }
    data += socket.readAll();
    const qsizetype split = data.indexOf("\r\n\r\n");
    if (split < 0) {
        result.head = data;
    } else {
        result.head = data.left(split + 2);
        result.body = data.mid(split + 4);
    }
    return result;
}

QByteArray get(const QByteArray &path, const QByteArray &extra = {})
{
    return "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nUser-Agent: tst_demoserver\r\n" + extra + "\r\n";
}

bool startsWithMp3Frame(const QByteArray &data)
{
    return data.size() >= 2 && quint8(data.at(0)) == 0xff && (quint8(data.at(1)) & 0xe0) == 0xe0;
}

QString ffprobeCodecs(const QString &file)
{
    QProcess probe;
    probe.start(QStringLiteral("ffprobe"), {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-show_entries"),
                                            QStringLiteral("stream=codec_name"), QStringLiteral("-of"),
                                            QStringLiteral("csv=p=0"), file});
    if (!probe.waitForFinished(30000) || probe.exitCode() != 0)
        return QStringLiteral("ffprobe failed: ") + QString::fromLocal8Bit(probe.readAllStandardError());
    QStringList codecs = QString::fromLatin1(probe.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    codecs.removeDuplicates();
    return codecs.join(QLatin1Char(','));
}

} // namespace

class TestDemoServer : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void secondStartReusesMedia();
    void answersWithContentTypes_data();
    void answersWithContentTypes();
    void rejectsBadRequests_data();
    void rejectsBadRequests();
    void icyMetadataFraming();
    void hugeIcyBlocks();
    void pacingFollowsBitrate_data();
    void pacingFollowsBitrate();
    void hlsPlaylistIsLive_data();
    void hlsPlaylistIsLive();
    void playlistsPointAtServer_data();
    void playlistsPointAtServer();
    void faultEndpoints();
    void redirects();
    void connectionsAreBounded();
    void mediaDecodes_data();
    void mediaDecodes();
    void stopsOnSignals();
    void installedServerServesCatalogueOnly();

private:
    DemoServerProcess m_server;
};

void TestDemoServer::initTestCase()
{
    QVERIFY2(m_server.start(), qPrintable(m_server.errorString()));
    QVERIFY(m_server.port() != 0);
    QVERIFY(QStandardPaths::findExecutable(QStringLiteral("ffprobe")).size() > 0);
}

void TestDemoServer::secondStartReusesMedia()
{
    DemoServerProcess second;
    second.setMediaDirectory(m_server.mediaDirectory());
    QVERIFY2(second.start(), qPrintable(second.errorString()));
    QVERIFY(second.port() != m_server.port());
    QVERIFY2(second.log().contains("media reused"), second.log().constData());
    const Exchange e = exchange(second.port(), get("/radio/2.mp3"), 1000, 3000);
    QCOMPARE(e.status(), 200);
}

void TestDemoServer::answersWithContentTypes_data()
{
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<QByteArray>("firstBytes"); // hex; empty: not checked

    QTest::newRow("radio 1") << QByteArray("/radio/1.mp3") << 200 << QByteArray("audio/mpeg") << QByteArray("ff");
    QTest::newRow("radio 8") << QByteArray("/radio/8.mp3") << 200 << QByteArray("audio/mpeg") << QByteArray("ff");
    QTest::newRow("radio 9") << QByteArray("/radio/9.mp3") << 404 << QByteArray("text/plain; charset=utf-8")
                             << QByteArray();
    QTest::newRow("aac") << QByteArray("/radio/aac") << 200 << QByteArray("audio/aac") << QByteArray("ff");
    QTest::newRow("ogg") << QByteArray("/radio/ogg") << 200 << QByteArray("audio/ogg") << QByteArray("4f676753");
    QTest::newRow("opus") << QByteArray("/radio/opus") << 200 << QByteArray("audio/ogg; codecs=opus")
                          << QByteArray("4f676753");
    QTest::newRow("wma") << QByteArray("/radio/wma") << 200 << QByteArray("audio/x-ms-wma")
                         << QByteArray("3026b2758e66cf11");
    QTest::newRow("xs 4") << QByteArray("/xs/4.mp3") << 200 << QByteArray("audio/mpeg") << QByteArray("ff");
    QTest::newRow("tv 3") << QByteArray("/tv/3.ts") << 200 << QByteArray("video/mp2t") << QByteArray("47");
    QTest::newRow("hls radio") << QByteArray("/hls/radio.m3u8") << 200 << QByteArray("application/vnd.apple.mpegurl")
                               << QByteArray("234558544d3355");
    QTest::newRow("hls segment") << QByteArray("/hls/tv/seg-12345.ts") << 200 << QByteArray("video/mp2t")
                                 << QByteArray("47");
    QTest::newRow("pls") << QByteArray("/playlist/radio.pls") << 200 << QByteArray("audio/x-scpls") << QByteArray();
    QTest::newRow("m3u") << QByteArray("/playlist/radio.m3u") << 200 << QByteArray("audio/x-mpegurl") << QByteArray();
    QTest::newRow("asx") << QByteArray("/playlist/radio.asx") << 200 << QByteArray("video/x-ms-asf") << QByteArray();
    QTest::newRow("unknown") << QByteArray("/nothing/here") << 404 << QByteArray("text/plain; charset=utf-8")
                             << QByteArray();
}

void TestDemoServer::answersWithContentTypes()
{
    QFETCH(QByteArray, path);
    QFETCH(int, status);
    QFETCH(QByteArray, contentType);
    QFETCH(QByteArray, firstBytes);

    const Exchange e = exchange(m_server.port(), get(path), 4096, 3000);
    QCOMPARE(e.status(), status);
    QCOMPARE(e.header("content-type"), contentType);
    QCOMPARE(e.header("connection").toLower(), QByteArray("close"));
    if (!firstBytes.isEmpty())
        QCOMPARE(e.body.left(firstBytes.size() / 2).toHex(), firstBytes);

    // HEAD gives the same head and no body, even for endless streams.
    const Exchange head = exchange(m_server.port(), "HEAD " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", 1, 3000);
    QCOMPARE(head.status(), status);
    QCOMPARE(head.header("content-type"), contentType);
    QVERIFY(head.closed);
    QVERIFY(head.body.isEmpty());
}

void TestDemoServer::rejectsBadRequests_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<int>("status");

    QTest::newRow("not http") << QByteArray("HELLO\r\n\r\n") << 400;
    QTest::newRow("no slash") << QByteArray("GET radio/1.mp3 HTTP/1.1\r\n\r\n") << 400;
    QTest::newRow("header without colon") << QByteArray("GET / HTTP/1.1\r\nbroken\r\n\r\n") << 400;
    QTest::newRow("post a stream") << QByteArray("POST /radio/1.mp3 HTTP/1.1\r\nContent-Length: 0\r\n\r\n") << 405;
    QTest::newRow("head too large") << QByteArray("GET / HTTP/1.1\r\nX-Long: " + QByteArray(9000, 'a') + "\r\n\r\n")
                                    << 431;
}

void TestDemoServer::rejectsBadRequests()
{
    QFETCH(QByteArray, request);
    QFETCH(int, status);
    const Exchange e = exchange(m_server.port(), request, 1 << 20, 3000);
    QCOMPARE(e.status(), status);
    QVERIFY(e.closed);
}

void TestDemoServer::icyMetadataFraming()
{
    // Asked for: blocks every metaint bytes, the first one naming the station.
    const Exchange e = exchange(m_server.port(), get("/radio/1.mp3", "Icy-MetaData: 1\r\n"), 40000, 5000);
    QCOMPARE(e.status(), 200);
    QCOMPARE(e.header("icy-metaint"), QByteArray("16000"));
    QCOMPARE(QString::fromUtf8(e.header("icy-name")), QStringLiteral("演示电台 1"));
    QVERIFY(!e.header("icy-genre").isEmpty());
    QVERIFY(e.body.size() >= 40000);
    QVERIFY(startsWithMp3Frame(e.body));

    const int length = quint8(e.body.at(16000)) * 16;
    QVERIFY(length > 0);
    const QByteArray block = e.body.mid(16001, length);
    const QByteArray title = QStringLiteral("StreamTitle='演示电台 1 - 第 1 首';").toUtf8();
    QCOMPARE(block.left(title.size()), title);
    QCOMPARE(block.mid(title.size()), QByteArray(length - title.size(), '\0'));
    // The title has not changed yet, so the next block is empty, again after metaint bytes.
    const qsizetype next = 16001 + length + 16000;
    QVERIFY(e.body.size() > next);
    QCOMPARE(int(e.body.at(next)), 0);
    // What lies between the blocks is the MP3 itself: a frame header right after the block.
    QVERIFY(!e.body.mid(16001 + length, 16000).contains("StreamTitle"));

    // Not asked for: plain MP3.
    const Exchange plain = exchange(m_server.port(), get("/radio/1.mp3"), 40000, 5000);
    QCOMPARE(plain.status(), 200);
    QVERIFY(plain.header("icy-metaint").isEmpty());
    QVERIFY(startsWithMp3Frame(plain.body));
    QVERIFY(!plain.body.contains("StreamTitle"));
}

void TestDemoServer::hugeIcyBlocks()
{
    const Exchange e = exchange(m_server.port(), get("/fail/huge-icy", "Icy-MetaData: 1\r\n"), 2 * (16000 + 4081), 8000);
    QCOMPARE(e.status(), 200);
    QCOMPARE(e.header("icy-metaint"), QByteArray("16000"));
    QVERIFY(e.body.size() >= 2 * (16000 + 4081));
    for (qsizetype at : {qsizetype(16000), qsizetype(16000 + 4081 + 16000)}) {
        QCOMPARE(quint8(e.body.at(at)), quint8(255));
        const QByteArray block = e.body.mid(at + 1, 4080);
        QVERIFY(block.startsWith("StreamTitle='"));
        const qsizetype end = block.indexOf("';");
        QVERIFY(end > 4000);
        QVERIFY(QString::fromUtf8(block.mid(13, end - 13)).contains(QStringLiteral("超长标题")));
    }
}

void TestDemoServer::pacingFollowsBitrate_data()
{
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<double>("bytesPerSecond");
    QTest::addColumn<double>("burstSeconds");

    QTest::newRow("128 kbit/s") << QByteArray("/radio/1.mp3") << 16000.0 << 1.5;
    QTest::newRow("64 kbit/s") << QByteArray("/radio/6.mp3") << 8000.0 << 1.5;
    QTest::newRow("trickle") << QByteArray("/fail/trickle") << 2000.0 << 0.0;
}

void TestDemoServer::pacingFollowsBitrate()
{
    QFETCH(QByteArray, path);
    QFETCH(double, bytesPerSecond);
    QFETCH(double, burstSeconds);

    const Exchange e = exchange(m_server.port(), get(path), 1 << 24, 3000);
    QCOMPARE(e.status(), 200);
    QVERIFY(!e.closed);
    const double expected = bytesPerSecond * (3.0 + burstSeconds);
    QVERIFY2(e.body.size() > expected * 0.8 && e.body.size() < expected * 1.2,
             qPrintable(QStringLiteral("%1 bytes, expected about %2").arg(e.body.size()).arg(expected)));
}

void TestDemoServer::hlsPlaylistIsLive_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::newRow("radio") << QByteArray("radio");
    QTest::newRow("tv") << QByteArray("tv");
}

void TestDemoServer::hlsPlaylistIsLive()
{
    QFETCH(QByteArray, name);
    const QByteArray path = "/hls/" + name + ".m3u8";
    const QRegularExpression sequenceTag(QStringLiteral("#EXT-X-MEDIA-SEQUENCE:(\\d+)"));
    const QRegularExpression targetTag(QStringLiteral("#EXT-X-TARGETDURATION:(\\d+)"));
    const QRegularExpression extinf(QStringLiteral("#EXTINF:([0-9.]+),"));

    const Exchange first = exchange(m_server.port(), get(path), 1 << 20, 3000);
    QCOMPARE(first.status(), 200);
    const QString text = QString::fromUtf8(first.body);
    QVERIFY(text.startsWith(QLatin1String("#EXTM3U")));
    QVERIFY(!text.contains(QLatin1String("#EXT-X-ENDLIST")));
    const int target = targetTag.match(text).captured(1).toInt();
    QVERIFY(target >= 2 && target <= 3);
    int segments = 0;
    for (auto it = extinf.globalMatch(text); it.hasNext();) {
        const double duration = it.next().captured(1).toDouble();
        QVERIFY(duration > 0.4 && qRound(duration) <= target);
        ++segments;
    }
    QCOMPARE(segments, 4);
    const qint64 sequence = sequenceTag.match(text).captured(1).toLongLong();

    // The first segment listed is served from memory, as MPEG-TS packets.
    const QByteArray segmentPath = "/hls/" + name + "/seg-" + QByteArray::number(sequence) + ".ts";
    QVERIFY2(text.contains(QString::fromUtf8(segmentPath)), qPrintable(text));
    const Exchange segment = exchange(m_server.port(), get(segmentPath), 1 << 22, 3000);
    QCOMPARE(segment.status(), 200);
    QCOMPARE(segment.body.size(), segment.header("content-length").toLongLong());
    QVERIFY(segment.body.size() > 1000);
    QCOMPARE(segment.body.size() % 188, 0);
    QCOMPARE(quint8(segment.body.at(0)), quint8(0x47));

    // A live window slides with the clock.
    QElapsedTimer clock;
    clock.start();
    qint64 later = sequence;
    while (later == sequence && clock.elapsed() < 6000) {
        QTest::qWait(500);
        later = sequenceTag.match(QString::fromUtf8(exchange(m_server.port(), get(path), 1 << 20, 3000).body))
                    .captured(1)
                    .toLongLong();
    }
    QVERIFY2(later > sequence, qPrintable(QStringLiteral("%1 -> %2").arg(sequence).arg(later)));
}

void TestDemoServer::playlistsPointAtServer_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("pattern"); // %1 is the target address

    QTest::newRow("pls") << QStringLiteral("/playlist/radio.pls") << QStringLiteral("/radio/1.mp3")
                         << QStringLiteral("[playlist]\r\nNumberOfEntries=1\r\nFile1=%1\r\nTitle1=");
    QTest::newRow("m3u") << QStringLiteral("/playlist/radio.m3u") << QStringLiteral("/radio/1.mp3")
                         << QStringLiteral("\n%1\n");
    QTest::newRow("tv m3u") << QStringLiteral("/playlist/tv.m3u") << QStringLiteral("/tv/1.ts")
                            << QStringLiteral("\n%1\n");
    QTest::newRow("asx") << QStringLiteral("/playlist/radio.asx") << QStringLiteral("/radio/1.mp3")
                         << QStringLiteral("<ref href=\"%1\"/>");
    QTest::newRow("wax") << QStringLiteral("/playlist/radio.wax") << QStringLiteral("/radio/1.mp3")
                         << QStringLiteral("<ref href=\"%1\"/>");
    QTest::newRow("wvx") << QStringLiteral("/playlist/tv.wvx") << QStringLiteral("/tv/1.ts")
                         << QStringLiteral("<ref href=\"%1\"/>");
    QTest::newRow("self") << QStringLiteral("/fail/self.m3u") << QStringLiteral("/fail/self.m3u")
                          << QStringLiteral("\n%1\n");
}

void TestDemoServer::playlistsPointAtServer()
{
    QFETCH(QString, path);
    QFETCH(QString, target);
    QFETCH(QString, pattern);

    QNetworkAccessManager manager;
    std::unique_ptr<QNetworkReply> reply(manager.get(QNetworkRequest(m_server.qurl(path))));
    QSignalSpy finished(reply.get(), &QNetworkReply::finished);
    QVERIFY(finished.wait(5000));
    QCOMPARE(reply->error(), QNetworkReply::NoError);
    const QString body = QString::fromUtf8(reply->readAll());
    QVERIFY2(body.contains(pattern.arg(m_server.url(target))), qPrintable(body));
    if (path.endsWith(QLatin1String("x"))) {
        QVERIFY(body.startsWith(QLatin1String("<asx version=\"3.0\">")));
        QVERIFY(body.contains(QStringLiteral("<title>演示")));
    }
}

void TestDemoServer::faultEndpoints()
{
    const quint16 port = m_server.port();

    // hang: the request is read, nothing ever comes back, the socket stays open.
    const Exchange hang = exchange(port, get("/fail/hang"), 1, 2000);
    QVERIFY(hang.head.isEmpty());
    QVERIFY(!hang.closed);

    // silence: a 200 head for audio, then nothing.
    const Exchange silence = exchange(port, get("/fail/silence"), 1, 2000);
    QCOMPARE(silence.status(), 200);
    QCOMPARE(silence.header("content-type"), QByteArray("audio/mpeg"));
    QVERIFY(silence.body.isEmpty());
    QVERIFY(!silence.closed);

    // garbage: a 200 head for audio, then bytes that are no MP3.
    const Exchange garbage = exchange(port, get("/fail/garbage"), 8000, 3000);
    QCOMPARE(garbage.status(), 200);
    QCOMPARE(garbage.header("content-type"), QByteArray("audio/mpeg"));
    QVERIFY(garbage.body.size() >= 8000);
    QVERIFY(garbage.body.left(8000) != garbage.body.mid(8000 / 2, 8000));

    // drop: a real stream that the server closes after three seconds, or as asked.
    const Exchange drop = exchange(port, get("/fail/drop"), 1 << 24, 8000);
    QCOMPARE(drop.status(), 200);
    QVERIFY(startsWithMp3Frame(drop.body));
    QVERIFY(drop.closed);
    QVERIFY2(drop.closedAfterMs > 2500 && drop.closedAfterMs < 4500, qPrintable(QString::number(drop.closedAfterMs)));
    const Exchange quick = exchange(port, get("/fail/drop?after=1"), 1 << 24, 8000);
    QVERIFY(quick.closed);
    QVERIFY2(quick.closedAfterMs > 700 && quick.closedAfterMs < 2500, qPrintable(QString::number(quick.closedAfterMs)));

    // 404 and 500 as seen by Qt's own client.
    QNetworkAccessManager manager;
    for (const auto &[path, status] : {std::pair{QStringLiteral("/fail/404"), 404}, std::pair{QStringLiteral("/fail/500"), 500}}) {
        std::unique_ptr<QNetworkReply> reply(manager.get(QNetworkRequest(m_server.qurl(path))));
        QSignalSpy finished(reply.get(), &QNetworkReply::finished);
        QVERIFY(finished.wait(5000));
        QCOMPARE(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), status);
        QVERIFY(reply->error() != QNetworkReply::NoError);
    }
}

void TestDemoServer::redirects()
{
    const Exchange loop = exchange(m_server.port(), get("/fail/redirect-loop"), 1 << 20, 3000);
    QCOMPARE(loop.status(), 302);
    QCOMPARE(QString::fromUtf8(loop.header("location")), m_server.url(QStringLiteral("/fail/redirect-loop")));

    QNetworkAccessManager manager;
    QNetworkRequest request(m_server.qurl(QStringLiteral("/fail/redirect-loop")));
    request.setMaximumRedirectsAllowed(5);
    std::unique_ptr<QNetworkReply> reply(manager.get(request));
    QSignalSpy finished(reply.get(), &QNetworkReply::finished);
    QVERIFY(finished.wait(5000));
    QCOMPARE(reply->error(), QNetworkReply::TooManyRedirectsError);

    const Exchange once = exchange(m_server.port(), get("/fail/redirect"), 1 << 20, 3000);
    QCOMPARE(once.status(), 302);
    QCOMPARE(QString::fromUtf8(once.header("location")), m_server.url(QStringLiteral("/radio/1.mp3")));
}

void TestDemoServer::connectionsAreBounded()
{
    // Fill the server with hanging clients: past the limit it says so and closes.
    std::vector<std::unique_ptr<QTcpSocket>> clients;
    for (int i = 0; i < 64; ++i) {
        auto socket = std::make_unique<QTcpSocket>();
        socket->connectToHost(QHostAddress::LocalHost, m_server.port());
        QVERIFY(socket->waitForConnected(3000));
        socket->write(get("/fail/hang"));
        QVERIFY(socket->waitForBytesWritten(3000));
        clients.push_back(std::move(socket));
    }
    QTest::qWait(300);
    const Exchange over = exchange(m_server.port(), get("/radio/1.mp3"), 1 << 20, 3000);
    QCOMPARE(over.status(), 503);
    QVERIFY(over.closed);

    // Clients that leave free their places at once.
    clients.clear();
    QElapsedTimer clock;
    clock.start();
    int status = 0;
    while (status != 200 && clock.elapsed() < 5000) {
        QTest::qWait(100);
        status = exchange(m_server.port(), get("/radio/1.mp3"), 100, 3000).status();
    }
    QCOMPARE(status, 200);
}

void TestDemoServer::mediaDecodes_data()
{
    QTest::addColumn<QString>("file"); // in the media folder, or a path on the server
    QTest::addColumn<QString>("codecs");

    QTest::newRow("radio mp3") << QStringLiteral("radio-3.mp3") << QStringLiteral("mp3");
    QTest::newRow("aac") << QStringLiteral("radio.aac") << QStringLiteral("aac");
    QTest::newRow("vorbis") << QStringLiteral("radio.ogg") << QStringLiteral("vorbis");
    QTest::newRow("opus") << QStringLiteral("radio.opus") << QStringLiteral("opus");
    QTest::newRow("wma") << QStringLiteral("radio.wma") << QStringLiteral("wmav2");
    QTest::newRow("dialogue") << QStringLiteral("xs-2.mp3") << QStringLiteral("mp3");
    QTest::newRow("tv") << QStringLiteral("tv-2.ts") << QStringLiteral("h264,aac");
    QTest::newRow("hls tv") << QStringLiteral("hls-tv/seg-001.ts") << QStringLiteral("h264,aac");
    QTest::newRow("hls radio") << QStringLiteral("hls-radio/seg-001.ts") << QStringLiteral("aac");
    QTest::newRow("live mp3") << QStringLiteral("/radio/7.mp3") << QStringLiteral("mp3");
    QTest::newRow("live wma") << QStringLiteral("/radio/wma") << QStringLiteral("wmav2");
    QTest::newRow("live tv") << QStringLiteral("/tv/1.ts") << QStringLiteral("h264,aac");
}

void TestDemoServer::mediaDecodes()
{
    QFETCH(QString, file);
    QFETCH(QString, codecs);

    QString path = m_server.mediaDirectory() + QLatin1Char('/') + file;
    QTemporaryDir dir;
    if (file.startsWith(QLatin1Char('/'))) {
        // What a client receives from the live stream, cut after a few seconds.
        const Exchange e = exchange(m_server.port(), get(file.toUtf8()), 150000, 5000);
        QCOMPARE(e.status(), 200);
        path = dir.filePath(QStringLiteral("received"));
        QFile out(path);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(e.body);
    }
    QCOMPARE(ffprobeCodecs(path), codecs);
}

void TestDemoServer::stopsOnSignals()
{
    for (const bool interrupt : {false, true}) {
        QProcess server;
        server.start(DemoServerProcess::demoServerPath(),
            { QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--media"), m_server.mediaDirectory() });
        QVERIFY(server.waitForReadyRead(30000));
        const QByteArray line = server.readLine();
        QVERIFY2(QRegularExpression(QStringLiteral("^listening on 127\\.0\\.0\\.1:\\d+\\n$")).match(QString::fromUtf8(line)).hasMatch(),
                 line.constData());
        if (interrupt)
            QVERIFY(::kill(pid_t(server.processId()), SIGINT) == 0);
        else
            server.terminate();
        QVERIFY(server.waitForFinished(5000));
        QCOMPARE(server.exitStatus(), QProcess::NormalExit);
        QCOMPARE(server.exitCode(), 0);
        QVERIFY(server.readAllStandardOutput().isEmpty());
    }
}

// The installed demonstration server answers the demonstration catalogue's
// addresses and nothing that only tests use.
void TestDemoServer::installedServerServesCatalogueOnly()
{
    DemoServerProcess installed;
    installed.setProgram(DemoServerProcess::demoServerPath());
    installed.setMediaDirectory(m_server.mediaDirectory());
    QVERIFY2(installed.start(), qPrintable(installed.errorString()));
    const quint16 port = installed.port();
    auto head = [](const QByteArray &path, const QByteArray &extra = {}) {
        return "HEAD " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + extra + "\r\n";
    };
    for (const char *path : { "/radio/1.mp3", "/radio/8.mp3", "/radio/gbk.mp3", "/radio/aac", "/radio/ogg", "/radio/opus",
             "/radio/wma", "/xs/1.mp3", "/xs/4.mp3", "/tv/1.ts", "/tv/3.ts", "/hls/radio.m3u8", "/hls/tv.m3u8", "/playlist/radio.pls",
             "/playlist/radio.m3u", "/playlist/radio.asx" })
        QVERIFY2(exchange(port, head(path), 1, 3000).status() == 200, path);
    for (const char *path : { "/fail/500", "/fail/hang", "/fail/silence", "/fail/garbage", "/fail/drop",
             "/fail/redirect", "/fail/redirect-loop", "/fail/self.m3u", "/fail/huge-icy", "/fail/trickle", "/mms/radio",
             "/playlist/radio.wax", "/playlist/tv.wvx", "/playlist/tv.m3u" }) {
        const Exchange e = exchange(port, get(path), 1 << 16, 3000);
        QVERIFY2(e.status() == 404 && e.closed, path);
    }
    // An MMS client asking for the WMA station gets plain ASF, not the MMS framing.
    const Exchange wma
        = exchange(port, head("/radio/wma", "User-Agent: NSPlayer/4.1.0.3856\r\nPragma: xPlayStrm=1\r\n"), 1, 3000);
    QCOMPARE(wma.status(), 200);
    QVERIFY(!wma.header("content-type").contains("mms"));
    QVERIFY(!exchange(port, get("/"), 1 << 16, 3000).body.contains("/fail/"));
}

QTEST_GUILESS_MAIN(TestDemoServer)
#include "tst_demoserver.moc"
