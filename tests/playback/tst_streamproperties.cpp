#include <QTest>

#include "StreamProperties.h"

namespace {

QVariantMap track(const QString &type, bool albumart = false)
{
    return { { QStringLiteral("type"), type }, { QStringLiteral("albumart"), albumart } };
}

}

// What the player shows of a stream's properties: its title, and whether it
// has a picture.
class TestStreamProperties : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void title_data();
    void title();
    void hasVideo_data();
    void hasVideo();
};

void TestStreamProperties::title_data()
{
    QTest::addColumn<QVariantMap>("metadata");
    QTest::addColumn<QString>("title");

    const auto s = [](const char *text) { return QVariant(QString::fromUtf8(text)); };
    QTest::addRow("nothing") << QVariantMap() << QString();
    QTest::addRow("ICY title") << QVariantMap { { QStringLiteral("icy-title"), s("Artist - Song") } }
                               << QStringLiteral("Artist - Song");
    // What a station sends with the song wins over the file's own title.
    QTest::addRow("ICY over title") << QVariantMap { {
                                                         QStringLiteral("title"),
                                                         s("File"),
                                                     },
        { QStringLiteral("icy-title"), s("Song") } }
                                    << QStringLiteral("Song");
    QTest::addRow("title alone") << QVariantMap { { QStringLiteral("TITLE"), s(" File  ") } } << QStringLiteral("File");
    QTest::addRow("empty ICY title") << QVariantMap { { QStringLiteral("icy-title"), s("") },
        { QStringLiteral("title"), s("File") } }
                                     << QStringLiteral("File");
    QTest::addRow("other tags") << QVariantMap { { QStringLiteral("icy-name"), s("Station") },
        { QStringLiteral("artist"), s("Artist") } }
                                << QString();
    // Bytes that are not UTF-8: a Chinese server's GBK.
    QTest::addRow("GBK bytes") << QVariantMap {
        { QStringLiteral("icy-title"), QByteArray("\xD1\xDD\xCA\xBE\xB5\xE7\xCC\xA8 ") }
    } << QStringLiteral("演示电台");
}

void TestStreamProperties::title()
{
    QFETCH(QVariantMap, metadata);
    QFETCH(QString, title);
    QCOMPARE(StreamProperties::title(metadata), title);
}

void TestStreamProperties::hasVideo_data()
{
    QTest::addColumn<QVariantList>("tracks");
    QTest::addColumn<bool>("video");

    QTest::addRow("none") << QVariantList() << false;
    QTest::addRow("audio") << QVariantList { track(QStringLiteral("audio")) } << false;
    QTest::addRow("cover of an audio file")
        << QVariantList { track(QStringLiteral("audio")), track(QStringLiteral("video"), true) } << false;
    QTest::addRow("TV") << QVariantList { track(QStringLiteral("video")), track(QStringLiteral("audio")) } << true;
    QTest::addRow("cover and video") << QVariantList { track(QStringLiteral("video"), true),
        track(QStringLiteral("video")) }
                                     << true;
}

void TestStreamProperties::hasVideo()
{
    QFETCH(QVariantList, tracks);
    QFETCH(bool, video);
    QCOMPARE(StreamProperties::hasVideo(tracks), video);
}

QTEST_GUILESS_MAIN(TestStreamProperties)
#include "tst_streamproperties.moc"
