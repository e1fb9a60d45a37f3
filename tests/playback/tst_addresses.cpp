#include <QTest>

#include "AddressPolicy.h"
#include "AsxPlaylist.h"

// Which addresses reach the engine, and how Windows Media playlists are read.
class TestAddresses : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void policy_data();
    void policy();
    void playlistAddresses_data();
    void playlistAddresses();
    void references_data();
    void references();
    void oversizedPlaylistIsCut();
};

void TestAddresses::policy_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("kind");
    using K = AddressPolicy::Kind;
    const int net = int(K::Network), local = int(K::LocalFile), refused = int(K::Refused);
    for (const char *a : {"http://127.0.0.1/a.mp3", "HTTPS://x/y", "mms://m/live", "mmsh://m/live", "mmst://m/l",
                          "rtsp://r/s", "rtsps://r/s", "rtmp://r/app/s", "rtmpe://r/a", "rtmps://r/a", "rtmpt://r/a",
                          "rtmpte://r/a", "rtmpts://r/a", "rtp://239.0.0.1:5004", "udp://@:1234", "srt://h:9000"})
        QTest::newRow(a) << QString::fromLatin1(a) << net;
    for (const char *a : {"/home/u/music/a.mp3", "relative/b.ogg", "file:///tmp/c.mp3", "C:\\radio\\d.wma", "a:b"})
        QTest::newRow(a) << QString::fromLatin1(a) << local;
    for (const char *a : {"av://v4l2:/dev/video0", "lavfi://sine", "edl://a.mp3,0,1", "memory://abc", "hex://4142",
                          "fd://0", "mf://*.jpg", "slice://0-10@a.mp3", "null://", "dvb://1", "cdda://", "dvd://",
                          "bd://", "bluray://", "smb://h/s", "ytdl://x", "appending://x", "archive://x.zip",
                          "javascript:alert(1)"})
        QTest::newRow(a) << QString::fromLatin1(a) << refused;
    QTest::newRow("standard input") << QStringLiteral("-") << refused;
}

void TestAddresses::policy()
{
    QFETCH(QString, address);
    QFETCH(int, kind);
    const AddressPolicy::Verdict v = AddressPolicy::classify(address);
    QCOMPARE(int(v.kind), kind);
    QCOMPARE(AddressPolicy::isNetwork(address), kind == int(AddressPolicy::Kind::Network));
    if (v.kind == AddressPolicy::Kind::Refused) {
        QCOMPARE(v.refusal.kind(), Failure::Kind::RefusedAddress);
        QVERIFY(v.refusal.text().startsWith(QStringLiteral("不支持的地址类型")));
        QVERIFY(v.refusal.text().contains(address.section(QLatin1Char(':'), 0, 0).toLower()));
    }
}

void TestAddresses::playlistAddresses_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("playlist");
    QTest::newRow("asx") << QStringLiteral("http://h/live.asx") << true;
    QTest::newRow("upper case, query") << QStringLiteral("http://h/LIVE.ASX?x=1") << true;
    QTest::newRow("wax") << QStringLiteral("http://h/a.wax") << true;
    QTest::newRow("wvx") << QStringLiteral("http://h/a.wvx") << true;
    QTest::newRow("mp3") << QStringLiteral("http://h/a.mp3") << false;
    QTest::newRow("asx in the query only") << QStringLiteral("http://h/play?f=a.asx") << false;
}

void TestAddresses::playlistAddresses()
{
    QFETCH(QString, address);
    QFETCH(bool, playlist);
    QCOMPARE(AsxPlaylist::isPlaylistAddress(address), playlist);
}

void TestAddresses::references_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("base");
    QTest::addColumn<QStringList>("refs");
    QTest::addColumn<bool>("recognised");

    QTest::newRow("asx 3.0") << QByteArray(
        "<asx version=\"3.0\"><title>t</title><entry><title>a</title>"
        "<ref href=\"http://h/a.mp3\"/><ref href=\"mms://h/a\"/></entry>"
        "<entry><ref href=\"http://h/b.mp3\"/></entry></asx>")
                             << QString() << QStringList{QStringLiteral("http://h/a.mp3"), QStringLiteral("mms://h/a"),
                                                         QStringLiteral("http://h/b.mp3")}
                             << true;
    QTest::newRow("upper case, BOM, whitespace") << QByteArray(
        "\xEF\xBB\xBF  \r\n<ASX VERSION=\"3.0\">\r\n<ENTRY><REF HREF = \"http://h/c\" /></ENTRY></ASX>")
                                                 << QString() << QStringList{QStringLiteral("http://h/c")} << true;
    QTest::newRow("not well-formed: bare ampersand") << QByteArray(
        "<asx version=\"3.0\"><entry><ref href=\"http://h/s?a=1&b=2\"><ref href='http://h/t'></entry></asx>")
                                                     << QString()
                                                     << QStringList{QStringLiteral("http://h/s?a=1&b=2"),
                                                                    QStringLiteral("http://h/t")}
                                                     << true;
    QTest::newRow("escaped ampersand") << QByteArray(
        "<asx version=\"3.0\"><entry><ref href=\"http://h/s?a=1&amp;b=2\"/></entry></asx>")
                                       << QString() << QStringList{QStringLiteral("http://h/s?a=1&b=2")} << true;
    QTest::newRow("relative against the playlist's address") << QByteArray(
        "<asx version=\"3.0\"><entry><ref href=\"live.mp3\"/></entry><entryref href=\"/more.asx\"/></asx>")
                                                             << QStringLiteral("http://h:8/dir/list.asx")
                                                             << QStringList{QStringLiteral("http://h:8/dir/live.mp3"),
                                                                            QStringLiteral("http://h:8/more.asx")}
                                                             << true;
    QTest::newRow("reference file") << QByteArray("[Reference]\r\nRef1=http://h/a?MSWMExt=.asf\r\nRef2=mms://h/a\r\n")
                                    << QString()
                                    << QStringList{QStringLiteral("http://h/a?MSWMExt=.asf"), QStringLiteral("mms://h/a")}
                                    << true;
    QTest::newRow("external entity is not expanded") << QByteArray(
        "<?xml version=\"1.0\"?><!DOCTYPE asx [<!ENTITY x SYSTEM \"file:///etc/passwd\">]>"
        "<asx version=\"3.0\"><entry><ref href=\"http://h/&x;\"/></entry></asx>")
                                                     << QString() << QStringList{QStringLiteral("http://h/&x;")} << true;
    QTest::newRow("html is no playlist") << QByteArray("<html><body><a href=\"x\">x</a></body></html>") << QString()
                                         << QStringList{} << false;
    QTest::newRow("mp3 bytes are no playlist") << QByteArray("ID3\x03\x00\x00\x00\x00\x00\x00\xFF\xFB", 12)
                                               << QString() << QStringList{} << false;
}

void TestAddresses::references()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, base);
    QFETCH(QStringList, refs);
    QFETCH(bool, recognised);
    QCOMPARE(AsxPlaylist::looksLikePlaylist(content), recognised);
    if (recognised)
        QCOMPARE(AsxPlaylist::references(content, base), refs);
}

void TestAddresses::oversizedPlaylistIsCut()
{
    QByteArray huge = "<asx version=\"3.0\"><entry><ref href=\"http://h/first\"/></entry>";
    while (huge.size() < 4 * AsxPlaylist::kMaxBytes)
        huge += "<entry><ref href=\"http://h/more\"/></entry>";
    const QStringList refs = AsxPlaylist::references(huge);
    QVERIFY(!refs.isEmpty());
    QCOMPARE(refs.first(), QStringLiteral("http://h/first"));
    QVERIFY(refs.size() < AsxPlaylist::kMaxBytes / 30);
}

QTEST_GUILESS_MAIN(TestAddresses)
#include "tst_addresses.moc"
