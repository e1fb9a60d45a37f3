#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include "AsfBroadcast.h"
#include "HlsPlaylist.h"
#include "HttpRequest.h"
#include "IcyMetadata.h"
#include "OggChain.h"

namespace {

// Makes a short file with ffmpeg from a generated tone.
QByteArray makeMedia(const QTemporaryDir &dir, const QString &name, const QStringList &encode)
{
    const QString path = dir.filePath(name);
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"),
                 QStringList{QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-nostdin"), QStringLiteral("-y"),
                             QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                             QStringLiteral("sine=f=440:d=2")}
                     + encode + QStringList{path});
    if (!ffmpeg.waitForFinished(30000) || ffmpeg.exitCode() != 0)
        return {};
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Decodes `data` completely; returns ffmpeg's complaints, empty when there are
// none, and the number of audio frames decoded.
QByteArray decodeErrors(const QTemporaryDir &dir, const QByteArray &data, int *frames)
{
    const QString path = dir.filePath(QStringLiteral("decode-me"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(data) != data.size())
        return "cannot write";
    file.close();
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"), {QStringLiteral("-nostdin"), QStringLiteral("-v"), QStringLiteral("error"),
                                            QStringLiteral("-i"), path, QStringLiteral("-f"), QStringLiteral("null"),
                                            QStringLiteral("-")});
    if (!ffmpeg.waitForFinished(30000))
        return "ffmpeg hangs";
    QByteArray complaints;
    for (const QByteArray &line : ffmpeg.readAllStandardError().split('\n')) {
        // Timestamps that start again with each loop bother only the null
        // output here; players follow them.
        if (!line.trimmed().isEmpty() && !line.contains("non monotonically increasing dts to muxer"))
            complaints += line + '\n';
    }
    if (ffmpeg.exitCode() != 0)
        complaints += "exit code " + QByteArray::number(ffmpeg.exitCode());

    QProcess probe;
    probe.start(QStringLiteral("ffprobe"), {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-count_frames"),
                                            QStringLiteral("-select_streams"), QStringLiteral("a:0"),
                                            QStringLiteral("-show_entries"), QStringLiteral("stream=nb_read_frames"),
                                            QStringLiteral("-of"), QStringLiteral("csv=p=0"), path});
    if (!probe.waitForFinished(30000))
        return "ffprobe hangs";
    // A chained file lists one stream per link; they add up.
    *frames = 0;
    for (const QByteArray &line : probe.readAllStandardOutput().split('\n'))
        *frames += line.trimmed().toInt();
    return complaints;
}

QList<quint32> oggSerials(const QByteArray &ogg)
{
    QList<quint32> serials;
    for (qsizetype pos = 0; pos + 27 <= ogg.size();) {
        const quint32 serial = qFromLittleEndian<quint32>(ogg.constData() + pos + 14);
        if (serials.isEmpty() || serials.last() != serial)
            serials.append(serial);
        const int segments = quint8(ogg.at(pos + 26));
        qsizetype length = 27 + segments;
        for (int i = 0; i < segments; ++i)
            length += quint8(ogg.at(pos + 27 + i));
        pos += length;
    }
    return serials;
}

} // namespace

class TestStreamFormats : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void icyInterleaving_data();
    void icyInterleaving();
    void icyBlockSizes();
    void oggLoopsAsChain_data();
    void oggLoopsAsChain();
    void asfLoopsAsBroadcast();
    void hlsWindow_data();
    void hlsWindow();
    void hlsJoinsSliver();
    void httpRequestParsing_data();
    void httpRequestParsing();
};

void TestStreamFormats::icyInterleaving_data()
{
    QTest::addColumn<int>("chunk");
    QTest::newRow("byte by byte") << 1;
    QTest::newRow("odd chunks") << 999;
    QTest::newRow("exactly metaint") << 16000;
    QTest::newRow("large chunks") << 50000;
}

void TestStreamFormats::icyInterleaving()
{
    QFETCH(int, chunk);
    // The title changes after the second block.
    int calls = 0;
    IcyMetadata icy([&calls] { return ++calls <= 2 ? QStringLiteral("第 1 首") : QStringLiteral("第 2 首"); });
    QByteArray audio(16000 * 4 + 123, Qt::Uninitialized);
    for (qsizetype i = 0; i < audio.size(); ++i)
        audio[i] = char(i * 7 % 251);
    QByteArray stream;
    for (qsizetype pos = 0; pos < audio.size(); pos += chunk)
        stream += icy.interleave(audio.mid(pos, chunk));

    // Read it back as a client does.
    QByteArray recovered;
    QStringList titles;
    qsizetype pos = 0;
    while (pos < stream.size()) {
        const qsizetype take = qMin<qsizetype>(16000, stream.size() - pos);
        recovered += stream.mid(pos, take);
        pos += take;
        if (take < 16000)
            break;
        QVERIFY(pos < stream.size() || recovered.size() == audio.size());
        if (pos >= stream.size())
            break;
        const int length = quint8(stream.at(pos)) * 16;
        const QByteArray block = stream.mid(pos + 1, length);
        QCOMPARE(block.size(), length);
        titles.append(length == 0 ? QString() : QString::fromUtf8(block).remove(QChar(0)));
        pos += 1 + length;
    }
    QCOMPARE(recovered, audio);
    QCOMPARE(titles,
             QStringList({QStringLiteral("StreamTitle='第 1 首';"), QString(), QStringLiteral("StreamTitle='第 2 首';"),
                          QString()}));
}

void TestStreamFormats::icyBlockSizes()
{
    const QByteArray small = IcyMetadata::block(QStringLiteral("abc"));
    QCOMPARE(small.size(), 1 + 32); // "StreamTitle='abc';" is 18 bytes, two units
    QCOMPARE(int(small.at(0)), 2);

    const QByteArray exact = IcyMetadata::block(QString(16 - 15, QLatin1Char('x'))); // 16 bytes of text
    QCOMPARE(exact.size(), 1 + 16);

    for (const QString &title : {QStringLiteral("演示 超长标题"), QString(5000, QLatin1Char('y'))}) {
        const QByteArray huge = title.size() > 1000 ? IcyMetadata::block(title) : IcyMetadata::hugeBlock(title);
        QCOMPARE(huge.size(), 1 + IcyMetadata::kMaxBlockBytes);
        QCOMPARE(quint8(huge.at(0)), quint8(255));
        const QByteArray text = huge.mid(1, huge.indexOf('\0') < 0 ? -1 : huge.indexOf('\0') - 1);
        QVERIFY(text.startsWith("StreamTitle='"));
        QVERIFY(text.endsWith("';"));
        QVERIFY(text.size() > IcyMetadata::kMaxBlockBytes - 4);
        // Whole characters only: a cut UTF-8 sequence would not survive the round trip.
        QCOMPARE(QString::fromUtf8(text).toUtf8(), text);
    }
}

void TestStreamFormats::oggLoopsAsChain_data()
{
    QTest::addColumn<QStringList>("encode");
    QTest::newRow("vorbis") << QStringList{QStringLiteral("-c:a"), QStringLiteral("libvorbis"), QStringLiteral("-f"),
                                           QStringLiteral("ogg")};
    QTest::newRow("opus") << QStringList{QStringLiteral("-c:a"), QStringLiteral("libopus"), QStringLiteral("-f"),
                                         QStringLiteral("ogg")};
}

void TestStreamFormats::oggLoopsAsChain()
{
    QFETCH(QStringList, encode);
    QTemporaryDir dir;
    const QByteArray ogg = makeMedia(dir, QStringLiteral("tone.ogg"), encode);
    QVERIFY(ogg.startsWith("OggS"));
    const QList<quint32> original = oggSerials(ogg);
    QCOMPARE(original.size(), 1);

    // Same serial: byte for byte the same, which proves the checksums.
    QCOMPARE(OggChain::withSerial(ogg, original.first()), ogg);

    const QByteArray second = OggChain::withSerial(ogg, original.first() + 1000);
    QCOMPARE(second.size(), ogg.size());
    QCOMPARE(oggSerials(second), QList<quint32>{original.first() + 1000});

    int once = 0;
    QCOMPARE(decodeErrors(dir, ogg, &once), QByteArray());
    QVERIFY(once > 10);
    int thrice = 0;
    QCOMPARE(decodeErrors(dir, ogg + second + OggChain::withSerial(ogg, 77), &thrice), QByteArray());
    // Decoders may keep or drop a frame at each seam; what matters is that the loops play on.
    QVERIFY2(qAbs(thrice - 3 * once) <= 3, qPrintable(QStringLiteral("%1 of %2").arg(thrice).arg(3 * once)));

    // Not Ogg at all: left alone.
    QCOMPARE(OggChain::withSerial("not an ogg file", 5), QByteArray("not an ogg file"));
}

void TestStreamFormats::asfLoopsAsBroadcast()
{
    QTemporaryDir dir;
    const QByteArray asf = makeMedia(dir, QStringLiteral("tone.wma"),
                                     {QStringLiteral("-c:a"), QStringLiteral("wmav2"), QStringLiteral("-f"), QStringLiteral("asf")});
    QVERIFY(!asf.isEmpty());
    QByteArray head;
    QByteArray packets;
    QVERIFY(AsfBroadcast::split(asf, &head, &packets));
    QCOMPARE(head.size() + packets.size(), asf.size());
    QVERIFY(head != asf.left(head.size())); // the broadcast flag was set

    int once = 0;
    QCOMPARE(decodeErrors(dir, asf, &once), QByteArray());
    QVERIFY(once > 10);
    int thrice = 0;
    QCOMPARE(decodeErrors(dir, head + packets + packets + packets, &thrice), QByteArray());
    // Decoders may keep or drop a frame at each seam; what matters is that the loops play on.
    QVERIFY2(qAbs(thrice - 3 * once) <= 3, qPrintable(QStringLiteral("%1 of %2").arg(thrice).arg(3 * once)));

    QVERIFY(!AsfBroadcast::split("OggS and more", &head, &packets));
}

void TestStreamFormats::hlsWindow_data()
{
    QTest::addColumn<qint64>("elapsedMs");
    QTest::addColumn<qint64>("firstSequence");
    QTest::addColumn<qint64>("discontinuitySequence");
    QTest::addColumn<qint64>("discontinuityBefore"); // -1: none in the window

    // Six segments of two seconds, as generated; a full window is there from the start.
    QTest::newRow("start") << qint64(0) << qint64(0) << qint64(0) << qint64(-1);
    QTest::newRow("just before a step") << qint64(1999) << qint64(0) << qint64(0) << qint64(-1);
    QTest::newRow("one step") << qint64(2000) << qint64(1) << qint64(0) << qint64(-1);
    QTest::newRow("wrap enters") << qint64(6000) << qint64(3) << qint64(0) << qint64(6);
    QTest::newRow("wrap first") << qint64(12000) << qint64(6) << qint64(0) << qint64(6);
    QTest::newRow("wrap slid out") << qint64(14000) << qint64(7) << qint64(1) << qint64(-1);
    QTest::newRow("an hour later") << qint64(3600 * 1000) << qint64(1800) << qint64(299) << qint64(1800);
}

void TestStreamFormats::hlsWindow()
{
    QFETCH(qint64, elapsedMs);
    QFETCH(qint64, firstSequence);
    QFETCH(qint64, discontinuitySequence);
    QFETCH(qint64, discontinuityBefore);

    const QList<QByteArray> segments = {"a", "bb", "ccc", "dddd", "eeeee", "ffffff"};
    const HlsPlaylist hls(segments, QList<double>(segments.size(), 2.0));
    QCOMPARE(hls.firstSequence(elapsedMs), firstSequence);
    const QByteArray text = hls.playlist(elapsedMs, "/x/seg-");
    QVERIFY(text.contains("#EXT-X-MEDIA-SEQUENCE:" + QByteArray::number(firstSequence) + '\n'));
    QVERIFY(text.contains("#EXT-X-DISCONTINUITY-SEQUENCE:" + QByteArray::number(discontinuitySequence) + '\n'));
    QVERIFY(text.contains("#EXT-X-TARGETDURATION:2\n"));
    QVERIFY(!text.contains("ENDLIST"));
    QCOMPARE(text.count("#EXTINF:2.000,\n"), HlsPlaylist::kWindow);
    QCOMPARE(text.count("#EXT-X-DISCONTINUITY\n"), discontinuityBefore < 0 ? 0 : 1);
    if (discontinuityBefore >= 0)
        QVERIFY(text.contains("#EXT-X-DISCONTINUITY\n#EXTINF:2.000,\n/x/seg-" + QByteArray::number(discontinuityBefore)
                              + ".ts\n"));
    for (qint64 seq = firstSequence; seq < firstSequence + HlsPlaylist::kWindow; ++seq)
        QVERIFY(text.contains("/x/seg-" + QByteArray::number(seq) + ".ts\n"));
    QCOMPARE(hls.segment(firstSequence + 2), segments.at((firstSequence + 2) % segments.size()));
}

void TestStreamFormats::hlsJoinsSliver()
{
    // What ffmpeg writes for a 4.02 s loop cut in 2 s pieces.
    QList<double> durations;
    QList<QByteArray> uris;
    QVERIFY(HlsPlaylist::parseIndex("#EXTM3U\n#EXT-X-TARGETDURATION:2\n#EXTINF:2.020133,\nseg-000.ts\n"
                                    "#EXTINF:1.996922,\nseg-001.ts\n#EXTINF:0.023222,\nseg-002.ts\n#EXT-X-ENDLIST\n",
                                    &durations, &uris));
    QCOMPARE(uris, QList<QByteArray>({"seg-000.ts", "seg-001.ts", "seg-002.ts"}));
    const HlsPlaylist hls({"A", "B", "C"}, durations);
    QCOMPARE(hls.segmentCount(), 2);
    QCOMPARE(hls.segment(1), QByteArray("BC"));
    QCOMPARE(hls.segment(2), QByteArray("A"));
    QCOMPARE(hls.targetDuration(), 2);
    QVERIFY(qAbs(hls.loopDuration() - 4.040277) < 1e-6);

    QVERIFY(!HlsPlaylist::parseIndex("#EXTM3U\nseg-000.ts\n", &durations, &uris));
    QVERIFY(!HlsPlaylist({"A"}, {1.0, 2.0}).isValid());
}

void TestStreamFormats::httpRequestParsing_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("state");
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<QString>("after");
    QTest::addColumn<QByteArray>("icy");

    const int complete = int(HttpRequest::State::Complete);
    QTest::newRow("plain") << QByteArray("GET /radio/1.mp3 HTTP/1.1\r\nHost: x\r\n\r\n") << complete
                           << QByteArray("/radio/1.mp3") << QString() << QByteArray();
    QTest::newRow("query and header case") << QByteArray("GET /fail/drop?after=2.5 HTTP/1.0\r\nicy-metadata:1\r\n\r\n")
                                           << complete << QByteArray("/fail/drop") << QStringLiteral("2.5")
                                           << QByteArray("1");
    QTest::newRow("escaped path") << QByteArray("GET /radio/%31.mp3 HTTP/1.1\r\n\r\n") << complete
                                  << QByteArray("/radio/1.mp3") << QString() << QByteArray();
    QTest::newRow("bare newlines") << QByteArray("GET / HTTP/1.1\nHost: x\r\n\r\n") << complete << QByteArray("/")
                                   << QString() << QByteArray();
    QTest::newRow("unfinished") << QByteArray("GET / HTTP/1.1\r\nHost: x\r\n") << int(HttpRequest::State::Incomplete)
                                << QByteArray() << QString() << QByteArray();
    QTest::newRow("not http") << QByteArray("SSH-2.0\r\n\r\n") << int(HttpRequest::State::Invalid) << QByteArray()
                              << QString() << QByteArray();
    QTest::newRow("absolute form") << QByteArray("GET http://a/ HTTP/1.1\r\n\r\n") << int(HttpRequest::State::Invalid)
                                   << QByteArray() << QString() << QByteArray();
    QTest::newRow("endless head") << QByteArray("GET / HTTP/1.1\r\nX: " + QByteArray(9000, 'a'))
                                  << int(HttpRequest::State::TooLarge) << QByteArray() << QString() << QByteArray();
}

void TestStreamFormats::httpRequestParsing()
{
    QFETCH(QByteArray, input);
    QFETCH(int, state);
    QFETCH(QByteArray, path);
    QFETCH(QString, after);
    QFETCH(QByteArray, icy);

    HttpRequest request;
    QCOMPARE(int(request.parse(input)), state);
    if (state != int(HttpRequest::State::Complete))
        return;
    QCOMPARE(request.path(), path);
    QCOMPARE(request.query().queryItemValue(QStringLiteral("after")), after);
    QCOMPARE(request.header("Icy-MetaData"), icy);
}

QTEST_GUILESS_MAIN(TestStreamFormats)
#include "tst_streamformats.moc"
