#include <QTest>

#include "StreamText.h"

// A stream's title bytes as servers send them: UTF-8, or GBK from many
// Chinese servers, which must never show as replacement characters.
class TestStreamText : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void decode_data();
    void decode();
};

void TestStreamText::decode_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    // 演示电台 第 3 首 in GBK, byte by byte.
    QTest::newRow("GBK") << QByteArray("\xD1\xDD\xCA\xBE\xB5\xE7\xCC\xA8 \xB5\xDA 3 \xCA\xD7")
                         << QStringLiteral("演示电台 第 3 首");
    QTest::newRow("UTF-8") << QStringLiteral("演示电台 第 3 首").toUtf8() << QStringLiteral("演示电台 第 3 首");
    QTest::newRow("ASCII") << QByteArray("Artist - Song") << QStringLiteral("Artist - Song");
    QTest::newRow("empty") << QByteArray() << QString();
    // 中文 and a euro sign, which GBK lacks and GB18030 has.
    QTest::newRow("GB18030") << QByteArray("\xD6\xD0\xCE\xC4 \xA2\xE3") << QStringLiteral("中文 €");
    // Mostly ASCII with one GBK word: the whole title is GBK.
    QTest::newRow("GBK in ASCII") << QByteArray("CNR-1 \xD0\xC2\xCE\xC5 08:00") << QStringLiteral("CNR-1 新闻 08:00");
}

void TestStreamText::decode()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    const QString decoded = StreamText::decode(bytes);
    QCOMPARE(decoded, text);
    QVERIFY(!decoded.contains(QChar::ReplacementCharacter));
}

QTEST_GUILESS_MAIN(TestStreamText)
#include "tst_streamtext.moc"
