#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include "AsfBroadcast.h"
#include "HlsPlaylist.h"
#include "HttpRequest.h"
#include "HugeIcyMetadata.h"
#include "IcyMetadata.h"
#include "OggChain.h"
#include "TsTimeline.h"

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
QByteArray decodeErrors(const QTemporaryDir &dir, const QByteArray &data, int *frames, double *seconds = nullptr)
{
    const QString path = dir.filePath(QStringLiteral("decode-me"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(data) != data.size())
        return "cannot write";
    file.close();
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"), {QStringLiteral("-nostdin"), QStringLiteral("-v"), QStringLiteral("error"),
                                            QStringLiteral("-stats"), QStringLiteral("-i"), path, QStringLiteral("-f"),
                                            QStringLiteral("null"), QStringLiteral("-")});
    if (!ffmpeg.waitForFinished(30000))
        return "ffmpeg hangs";
    QByteArray complaints;
    for (const QByteArray &line : ffmpeg.readAllStandardError().replace('\r', '\n').split('\n')) {
        // The -stats lines end in the time reached, the last timestamp decoded.
        const qsizetype at = line.lastIndexOf("time=");
        if (at >= 0) {
            const QList<QByteArray> hms = line.mid(at + 5, 11).split(':');
            if (seconds && hms.size() == 3)
                *seconds = hms.at(0).toDouble() * 3600 + hms.at(1).toDouble() * 60 + hms.at(2).toDouble();
        } else if (!line.trimmed().isEmpty()) {
            complaints += line + '\n';
        }
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
    void tsLoopsAsOneProgramme();
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

    // A title too long for a block is cut at a whole character; the test server's huge blocks fill one up.
    for (const QString &title :
         {QStringLiteral("演示 超长标题"), QString(5000, QLatin1Char('y')), QString(2000, QChar(0x4E2D))}) {
        const QByteArray huge = title.size() > 1000 ? IcyMetadata::block(title) : HugeIcyMetadata::hugeBlock(title);
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
    const AsfBroadcast broadcast(asf);
    QVERIFY(broadcast.isValid());
    QVERIFY2(qAbs(broadcast.loopMs() - 2000) < 100, qPrintable(QString::number(broadcast.loopMs())));
    QCOMPARE(broadcast.head().size() + broadcast.pass(0).size(), asf.size());
    QVERIFY(broadcast.head() != asf.left(broadcast.head().size())); // the broadcast flag was set
    QCOMPARE(broadcast.pass(0).size() % broadcast.packetSize(), 0);
    QCOMPARE(broadcast.pass(2).size(), broadcast.pass(0).size());
    QVERIFY(broadcast.pass(2) != broadcast.pass(1));

    // Three passes decode as one stream six seconds long, with no complaint
    // about timestamps going back.
    int once = 0;
    QCOMPARE(decodeErrors(dir, asf, &once), QByteArray());
    QVERIFY(once > 10);
    int thrice = 0;
    double seconds = 0;
    const QByteArray live = broadcast.head() + broadcast.pass(0) + broadcast.pass(1) + broadcast.pass(2);
    QCOMPARE(decodeErrors(dir, live, &thrice, &seconds), QByteArray());
    QVERIFY2(qAbs(thrice - 3 * once) <= 3, qPrintable(QStringLiteral("%1 of %2").arg(thrice).arg(3 * once)));
    QVERIFY2(seconds > 5.5 && seconds < 9.5, qPrintable(QString::number(seconds)));

    QVERIFY(!AsfBroadcast("OggS and more").isValid());
}

void TestStreamFormats::tsLoopsAsOneProgramme()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("clip.ts"));
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"),
                 {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-nostdin"), QStringLiteral("-y"),
                  QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"), QStringLiteral("testsrc2=s=64x36:r=25"),
                  QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"), QStringLiteral("sine=f=440"),
                  QStringLiteral("-t"), QStringLiteral("2"), QStringLiteral("-c:v"), QStringLiteral("libx264"),
                  QStringLiteral("-preset"), QStringLiteral("ultrafast"), QStringLiteral("-c:a"), QStringLiteral("aac"),
                  QStringLiteral("-pes_payload_size"), QStringLiteral("0"), QStringLiteral("-f"), QStringLiteral("mpegts"),
                  path});
    QVERIFY(ffmpeg.waitForFinished(30000));
    QCOMPARE(ffmpeg.exitCode(), 0);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray ts = file.readAll();

    const TsTimeline timeline(ts);
    QVERIFY(timeline.isValid());
    // 50 frames at 25 fps, or the audio's frames of 1024 samples, a little longer
    // with the encoder's priming: whole audio frames in any case.
    QVERIFY2(timeline.loopTicks() >= 2 * 90000 && timeline.loopTicks() < 2 * 90000 + 9000,
             qPrintable(QString::number(timeline.loopTicks())));
    const double audioFrames = double(timeline.loopTicks()) * 44100 / 90000 / 1024;
    QVERIFY2(qAbs(audioFrames - qRound(audioFrames)) < 0.01, qPrintable(QString::number(audioFrames)));
    QCOMPARE(timeline.pass(0), ts);
    QCOMPARE(timeline.pass(3).size(), ts.size());

    // Counters run on across the seam: the first packet of each PID in pass 1
    // follows the last one of pass 0.
    const QByteArray joined = timeline.pass(0) + timeline.pass(1) + timeline.pass(2);
    QHash<int, int> last;
    for (qsizetype pos = 0; pos < joined.size(); pos += TsTimeline::kPacketSize) {
        const auto *packet = reinterpret_cast<const uchar *>(joined.constData() + pos);
        if (!(packet[3] & 0x10))
            continue;
        const int pid = (packet[1] & 0x1f) << 8 | packet[2];
        const int counter = packet[3] & 0x0f;
        if (last.contains(pid))
            QVERIFY2(counter == ((last.value(pid) + 1) & 0x0f), qPrintable(QStringLiteral("pid %1 at %2").arg(pid).arg(pos)));
        last.insert(pid, counter);
    }

    int once = 0;
    QCOMPARE(decodeErrors(dir, ts, &once), QByteArray());
    int thrice = 0;
    double seconds = 0;
    QCOMPARE(decodeErrors(dir, joined, &thrice, &seconds), QByteArray());
    QVERIFY2(qAbs(thrice - 3 * once) <= 3, qPrintable(QStringLiteral("%1 of %2").arg(thrice).arg(3 * once)));
    QVERIFY2(seconds > 5.5 && seconds < 6.5, qPrintable(QString::number(seconds)));

    QVERIFY(!TsTimeline(QByteArray(100, 'x')).isValid());
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
