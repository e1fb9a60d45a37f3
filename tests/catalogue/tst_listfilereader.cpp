#include <algorithm>
#include <cstring>

#include <sys/stat.h>

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTest>

#include "GbkFiles.h"
#include "GbkTable.h"
#include "ListFileReader.h"

using namespace Qt::StringLiterals;

namespace {

// Every case is read with chunks this small as well as with the default, so
// that each GBK pair, CR LF and byte-order mark is cut by some chunk boundary.
const QList<qsizetype> kChunkSizes = {1, 2, 3, 5, ListFileReader::kDefaultChunkSize};

const QByteArray kBom = "\xEF\xBB\xBF";

struct Reading
{
    QStringList records;
    QList<int> lines;
    int unclosedAt = 0;
    int truncatedAt = 0;
};

Reading readOpen(qsizetype byteCount, ListFileReader &reader)
{
    Reading reading;
    while (!reader.atEnd()) {
        reading.records.append(reader.readRecord());
        reading.lines.append(reader.recordLine());
        if (reader.lastRecordUnclosedQuote()) {
            reading.unclosedAt = reader.recordNumber();
        }
        if (reader.lastRecordTruncated()) {
            reading.truncatedAt = reader.recordNumber();
        }
        if (reading.records.size() > byteCount + 1) {
            break; // a reader that never reaches its end must not hang the test
        }
    }
    return reading;
}

Reading readAll(const QByteArray &bytes, ListFileReader &reader)
{
    if (!GbkFiles::writeBytes(u"list.txt"_s, bytes) || !reader.open(u"list.txt"_s)) {
        return {};
    }
    return readOpen(bytes.size(), reader);
}

// The same bytes through the reader's device seam, without a file.
Reading readBuffer(const QByteArray &bytes, ListFileReader &reader, QBuffer &buffer)
{
    buffer.setData(bytes);
    if (!buffer.open(QIODevice::ReadOnly) || !reader.open(&buffer, u"list.txt"_s)) {
        return {};
    }
    return readOpen(bytes.size(), reader);
}

// Bytes that can be read once, front to back, as from a pipe.
class SequentialBuffer : public QIODevice
{
public:
    void setData(const QByteArray &data) { m_data = data; }
    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override { return m_data.size() - m_read + QIODevice::bytesAvailable(); }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        const qint64 n = std::min<qint64>(maxSize, m_data.size() - m_read);
        std::memcpy(data, m_data.constData() + m_read, size_t(n));
        m_read += n;
        return n;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    QByteArray m_data;
    qint64 m_read = 0;
};

QString fffd(int count = 1)
{
    return QString(count, QChar(0xFFFD));
}

} // namespace

class TestListFileReader : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void readRecord_data();
    void readRecord();
    void diagnostics_data();
    void diagnostics();
    void encoding_data();
    void encoding();
    void parseEntry_data();
    void parseEntry();
    void openFailure_data();
    void openFailure();
    void openDevice();
    void gbkTableIsTheDecoders();

private:
    QTemporaryDir m_dir;
};

void TestListFileReader::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(QDir::setCurrent(m_dir.path()));
}

void TestListFileReader::readRecord_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("records");

    const QByteArray longHead(ListFileReader::kDefaultChunkSize - 1, 'x');
    const qsizetype max = ListFileReader::kMaxRecordLength;

    // The rules as designed.
    QTest::addRow("zero bytes") << QByteArray() << QStringList();
    QTest::addRow("CR LF ends records") << "a|b|c\r\nd|e|f\r\n"_ba << QStringList{u"a|b|c"_s, u"d|e|f"_s};
    QTest::addRow("no line end after the last record") << "a\r\nb"_ba << QStringList{u"a"_s, u"b"_s};
    QTest::addRow("comma ends a record") << "a,b"_ba << QStringList{u"a"_s, u"b"_s};
    QTest::addRow("several records on a line")
        << GbkFiles::toGbk(u"|甲|u1,|乙|u2\r\n|丙|u3"_s) << QStringList{u"|甲|u1"_s, u"|乙|u2"_s, u"|丙|u3"_s};
    QTest::addRow("unquoted comma cuts the address")
        << "|a|http://h/x?a=1,2\r\n"_ba << QStringList{u"|a|http://h/x?a=1"_s, u"2"_s};
    QTest::addRow("quoted comma stays")
        << "\"|a|http://h/x?a=1,2\"\r\n|b|c"_ba << QStringList{u"|a|http://h/x?a=1,2"_s, u"|b|c"_s};
    QTest::addRow("quoted record then comma") << "\"a,b\",c"_ba << QStringList{u"a,b"_s, u"c"_s};
    QTest::addRow("line end inside quotes") << "\"a\r\nb\"\r\nc"_ba << QStringList{u"a\r\nb"_s, u"c"_s};
    QTest::addRow("GBK B0 B2 BB D5") << "\xB0\xB2\xBB\xD5"_ba << QStringList{u"安徽"_s};
    QTest::addRow("bar as a GBK trail byte")
        << "|\xB0\x7C|u"_ba << QStringList{u"|"_s + QChar(0x7698) + u"|u"_s};
    QTest::addRow("euro sign") << "\x80"_ba << QStringList{u"€"_s};
    QTest::addRow("pair cut by the default chunk")
        << longHead + "\xB0\xB2\r\ny" << QStringList{QString(longHead.size(), u'x') + u"安"_s, u"y"_s};
    QTest::addRow("CR LF cut by the default chunk")
        << longHead + "\r\ny" << QStringList{QString(longHead.size(), u'x'), u"y"_s};

    // Files edited elsewhere.
    QTest::addRow("lone LF") << "a\nb\n"_ba << QStringList{u"a"_s, u"b"_s};
    QTest::addRow("lone CR") << "a\rb\r"_ba << QStringList{u"a"_s, u"b"_s};
    QTest::addRow("mixed line ends") << "a\r\r\nb\n\rc"_ba << QStringList{u"a"_s, u"b"_s, u"c"_s};
    QTest::addRow("blank lines") << "\r\n\r\na\r\n\r\n\nb\r\n\r\n"_ba << QStringList{u"a"_s, u"b"_s};
    QTest::addRow("blank lines only") << "\r\n\n\r"_ba << QStringList();
    QTest::addRow("comma at a line end") << "a,\r\nb,"_ba << QStringList{u"a"_s, u"b"_s};
    QTest::addRow("empty record between commas") << ",a,,b"_ba << QStringList{u""_s, u"a"_s, u""_s, u"b"_s};
    QTest::addRow("blanks kept") << " \ta|b|c \r\n\" x \""_ba << QStringList{u" \ta|b|c "_s, u" x "_s};
    QTest::addRow("unclosed quote is an ordinary character")
        << "a\r\n\"b,c\r\nd"_ba << QStringList{u"a"_s, u"\"b"_s, u"c"_s, u"d"_s};
    QTest::addRow("unclosed quote after a closed one")
        << "\"a,b\",\"c,d\r\n\"e\",f\r\n\"g|h|i"_ba
        << QStringList{u"a,b"_s, u"c,d\r\ne\""_s, u"f"_s, u"\"g|h|i"_s};
    QTest::addRow("unclosed quote after a BOM")
        << kBom + "\"|\xE5\xAE\x89|u,|b|c"_ba << QStringList{u"\"|安|u"_s, u"|b|c"_s};
    QTest::addRow("unclosed quote after damage")
        << "\xFF,\xB0\r\n\"|a|b\xFF\r\nc"_ba << QStringList{fffd(), fffd(), u"\"|a|b"_s + fffd(), u"c"_s};
    QTest::addRow("text after the closing quote is kept")
        << "\"a,b\"c \"d\",e"_ba << QStringList{u"a,bc \"d\""_s, u"e"_s};
    QTest::addRow("quote inside a record") << "a\"b,c"_ba << QStringList{u"a\"b"_s, u"c"_s};
    QTest::addRow("empty quotes") << "\"\"\r\nx"_ba << QStringList{u""_s, u"x"_s};
    QTest::addRow("UTF-8 with BOM") << kBom + u"|安徽|u\r\n中"_s.toUtf8() << QStringList{u"|安徽|u"_s, u"中"_s};
    QTest::addRow("BOM only") << kBom << QStringList();
    QTest::addRow("UTF-8 without BOM") << u"|安徽|u\r\n|中文台|v"_s.toUtf8() << QStringList{u"|安徽|u"_s, u"|中文台|v"_s};
    QTest::addRow("overlong record keeps its head") << QByteArray(max + 5, 'x') + ",b"
                                                    << QStringList{QString(max, u'x'), u"b"_s};

    // Damaged bytes cost one character each.
    QTest::addRow("FF") << "a\xFF|b"_ba << QStringList{u"a"_s + fffd() + u"|b"_s};
    QTest::addRow("lead byte at the end") << "a\r\n\xB0"_ba << QStringList{u"a"_s, fffd()};
    QTest::addRow("lead byte before a comma") << "\xB0,x"_ba << QStringList{fffd(), u"x"_s};
    QTest::addRow("lead byte before CR LF") << "\xB0\r\nx"_ba << QStringList{fffd(), u"x"_s};
    QTest::addRow("lead byte before a non-trail") << "\xB0\x30\xFF\xB0\xB2"_ba << QStringList{fffd() + u"0"_s + fffd() + u"安"_s};
    QTest::addRow("lead byte before a quote") << "\"\xB0\",x"_ba << QStringList{fffd(), u"x"_s};
    QTest::addRow("damaged UTF-8") << kBom + "a\xC3\r\n\xE4\xB8"_ba << QStringList{u"a"_s + fffd(), fffd(2)};
}

void TestListFileReader::readRecord()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, records);
    for (qsizetype chunkSize : kChunkSizes) {
        ListFileReader reader(chunkSize);
        const Reading reading = readAll(bytes, reader);
        QVERIFY2(reader.isOpen(), qPrintable(reader.errorString()));
        QCOMPARE(reading.records, records);
        QVERIFY(reader.atEnd());

        QBuffer buffer;
        ListFileReader fromDevice(chunkSize);
        const Reading fromBuffer = readBuffer(bytes, fromDevice, buffer);
        QVERIFY2(fromDevice.isOpen(), qPrintable(fromDevice.errorString()));
        QCOMPARE(fromBuffer.records, records);
        QCOMPARE(fromBuffer.lines, reading.lines);
        QCOMPARE(fromDevice.invalidCount(), reader.invalidCount());
        fromDevice.close();
        QVERIFY(buffer.isOpen()); // the caller's device stays the caller's
    }
}

void TestListFileReader::diagnostics_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QList<int>>("lines");
    QTest::addColumn<int>("invalid");
    QTest::addColumn<int>("firstInvalidRecord");
    QTest::addColumn<bool>("bom");
    QTest::addColumn<int>("unclosedAt");
    QTest::addColumn<int>("truncatedAt");

    QTest::addRow("clean") << "a\r\nb\r\n"_ba << QList<int>{1, 2} << 0 << 0 << false << 0 << 0;
    QTest::addRow("line numbers") << "\r\na\n\nb\rc,d\r\n\"e\r\nf\"\r\ng"_ba << QList<int>{2, 4, 5, 5, 6, 8} << 0 << 0
                                  << false << 0 << 0;
    QTest::addRow("damaged bytes") << "a\r\nb\xFF\r\n\xFF\xB0"_ba << QList<int>{1, 2, 3} << 3 << 2 << false << 0 << 0;
    QTest::addRow("damage in quotes") << "a,\"\xFF\""_ba << QList<int>{1, 1} << 1 << 2 << false << 0 << 0;
    QTest::addRow("BOM") << kBom + "a"_ba << QList<int>{1} << 0 << 0 << true << 0 << 0;
    QTest::addRow("BOM and damage") << kBom + "a\r\n\xC3"_ba << QList<int>{1, 2} << 1 << 2 << true << 0 << 0;
    QTest::addRow("unclosed quote") << "a\r\n\"b\r\nc"_ba << QList<int>{1, 2, 3} << 0 << 0 << false << 2 << 0;
    QTest::addRow("unclosed quote after damage")
        << "\xFF\r\n\xFF\"\xFF\r\n\"\xFF\r\nc\xFF"_ba << QList<int>{1, 2, 3, 4} << 5 << 1 << false << 3 << 0;
    QTest::addRow("overlong") << "a," + QByteArray(ListFileReader::kMaxRecordLength + 1, 'x') << QList<int>{1, 1} << 0
                              << 0 << false << 0 << 2;
}

void TestListFileReader::diagnostics()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QList<int>, lines);
    for (qsizetype chunkSize : kChunkSizes) {
        ListFileReader reader(chunkSize);
        const Reading reading = readAll(bytes, reader);
        QCOMPARE(reading.lines, lines);
        QTEST(int(reader.invalidCount()), "invalid");
        QTEST(reader.firstInvalidRecord(), "firstInvalidRecord");
        QTEST(reader.startedWithUtf8Bom(), "bom");
        QTEST(reading.unclosedAt, "unclosedAt");
        QTEST(reading.truncatedAt, "truncatedAt");
    }
}

void TestListFileReader::encoding_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("utf8");

    const QByteArray an = u"安"_s.toUtf8();
    const qsizetype limit = 64 * 1024;
    QTest::addRow("GBK") << "|\xB0\xB2\xBB\xD5|u"_ba << false;
    QTest::addRow("ASCII") << "|News|http://h/1"_ba << false;
    QTest::addRow("UTF-8 with BOM") << kBom + an << true;
    QTest::addRow("UTF-8 without BOM") << "|" + an + "|u"_ba << true;
    // 通 in GBK is CD A8, a sound two-byte UTF-8 sequence; Chinese in UTF-8
    // takes three bytes.
    QTest::addRow("U+FFFD written in UTF-8") << "\xEF\xBF\xBD\n\nb\n"_ba << true;
    QTest::addRow("GBK pairs that are also UTF-8") << "|\xCD\xA8|u"_ba << false;
    QTest::addRow("overlong UTF-8") << "\xC0\xAF" + an << false;
    QTest::addRow("UTF-16 surrogate in UTF-8") << "\xED\xA0\x80" + an << false;
    QTest::addRow("UTF-8 cut at the end of the file") << an + an.left(2) << false;
    QByteArray straddling = an + QByteArray(limit - an.size() - 1, 'x') + an;
    QTest::addRow("UTF-8 cut where the look ahead ends") << straddling << true;
    QTest::addRow("UTF-8 only past the look ahead") << QByteArray(limit, 'x') + an << false;
    QTest::addRow("UTF-8 damaged past the look ahead") << an + QByteArray(limit, 'x') + "\xFF" << true;
}

// The encoding is told once, from the start of the file, whatever the size
// of the chunks it is then read in.
void TestListFileReader::encoding()
{
    QFETCH(QByteArray, bytes);
    for (qsizetype chunkSize : {qsizetype(1), ListFileReader::kDefaultChunkSize}) {
        ListFileReader reader(chunkSize);
        readAll(bytes, reader);
        QTEST(reader.readsUtf8(), "utf8");
        QBuffer buffer;
        ListFileReader fromDevice(chunkSize);
        readBuffer(bytes, fromDevice, buffer);
        QTEST(fromDevice.readsUtf8(), "utf8");
    }
}

void TestListFileReader::parseEntry_data()
{
    QTest::addColumn<QString>("record");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("displayName");
    QTest::addColumn<QString>("address");

    QTest::addRow("empty field 0") << u"|安徽新闻综合广播|http://h/1"_s << true << u"安徽新闻综合广播"_s << u"http://h/1"_s;
    QTest::addRow("field 0 ignored") << u"编号7|n|a"_s << true << u"n"_s << u"a"_s;
    QTest::addRow("empty field 1") << u"||a"_s << true << u""_s << u"a"_s;
    QTest::addRow("empty field 2") << u"|n|"_s << true << u"n"_s << u""_s;
    QTest::addRow("two bars only") << u"||"_s << true << u""_s << u""_s;
    QTest::addRow("five fields") << u"0|n|a|3|4"_s << true << u"n"_s << u"a"_s;
    QTest::addRow("not trimmed") << u" | n \t| a |"_s << true << u" n \t"_s << u" a "_s;
    QTest::addRow("no bar") << u"abc"_s << false << QString() << QString();
    QTest::addRow("empty record") << QString() << false << QString() << QString();
    QTest::addRow("one bar") << u"n|a"_s << false << QString() << QString();
}

void TestListFileReader::parseEntry()
{
    QFETCH(QString, record);
    QFETCH(bool, valid);
    const std::optional<ChannelEntry> entry = ListFileReader::parseEntry(record);
    QCOMPARE(entry.has_value(), valid);
    if (entry) {
        QTEST(entry->displayName, "displayName");
        QTEST(entry->address, "address");
    }
}

void TestListFileReader::openFailure_data()
{
    QTest::addColumn<QString>("path");
    QTest::addRow("missing") << u"gb/missing.txt"_s;
    QTest::addRow("folder") << u"folder.txt"_s;
    // Neither may hold up the start: a pipe blocks its reader until someone
    // writes, /dev/zero never ends.
    QTest::addRow("named pipe") << u"pipe.txt"_s;
    QTest::addRow("device") << u"zero.txt"_s;
}

void TestListFileReader::openFailure()
{
    QFETCH(QString, path);
    QVERIFY(QDir().mkpath(u"folder.txt"_s));
    QVERIFY(GbkFiles::writeLines(u"good.txt"_s, {u"|a|b"_s}));
    QVERIFY(QFileInfo::exists(u"pipe.txt"_s) || ::mkfifo("pipe.txt", 0644) == 0);
    QVERIFY(QFileInfo::exists(u"zero.txt"_s) || QFile::link(u"/dev/zero"_s, u"zero.txt"_s));

    QStringList events;
    ListFileReader reader(ListFileReader::kDefaultChunkSize, [&](const QString &file, ListFileReader::FileEvent event) {
        events.append((event == ListFileReader::FileEvent::Opened ? u"+"_s : u"-"_s) + file);
    });
    QVERIFY(reader.open(u"good.txt"_s));
    QVERIFY(!reader.open(path));
    QVERIFY(!reader.isOpen());
    QVERIFY(reader.atEnd());
    QVERIFY(!reader.errorString().isEmpty());
    // The file still open is closed first; the failed one is never reported open.
    QCOMPARE(events, (QStringList{u"+good.txt"_s, u"-good.txt"_s}));
}

void TestListFileReader::openDevice()
{
    QStringList events;
    ListFileReader reader(ListFileReader::kDefaultChunkSize, [&](const QString &file, ListFileReader::FileEvent event) {
        events.append((event == ListFileReader::FileEvent::Opened ? u"+"_s : u"-"_s) + file);
    });
    QBuffer closed;
    closed.setData("|a|b");
    QVERIFY(!reader.open(&closed, u"closed"_s));
    QVERIFY(!reader.open(nullptr, u"none"_s));
    QVERIFY(!reader.isOpen());
    QVERIFY(reader.atEnd());
    QVERIFY(!reader.errorString().isEmpty());

    QBuffer buffer;
    buffer.setData("|a|b\r\n|c|d");
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    QVERIFY(reader.open(&buffer, u"gb/ah.txt"_s));
    QCOMPARE(reader.readRecord(), u"|a|b"_s);
    // Opening a file closes the device's reading first, as for any file.
    QVERIFY(!reader.open(u"gb/missing.txt"_s));
    QCOMPARE(events, (QStringList{u"+gb/ah.txt"_s, u"-gb/ah.txt"_s}));
    QVERIFY(buffer.isOpen());

    // A device that cannot seek cannot be read again, so there an unclosed
    // quote still runs to the end.
    SequentialBuffer pipe;
    pipe.setData("a,\"b,c\r\nd");
    QVERIFY(pipe.open(QIODevice::ReadOnly));
    QVERIFY(reader.open(&pipe, u"pipe"_s));
    QCOMPARE(reader.readRecord(), u"a"_s);
    QCOMPARE(reader.readRecord(), u"b,c\r\nd"_s);
    QVERIFY(reader.lastRecordUnclosedQuote());
    QVERIFY(reader.atEnd());
}

// The table the build made is what this system's GBK decoder says of every
// byte up to 0x80 and every lead-trail pair, one by one.
void TestListFileReader::gbkTableIsTheDecoders()
{
    QStringDecoder gbk("GBK", QStringConverter::Flag::Stateless);
    QVERIFY(gbk.isValid());
    auto decoded = [&gbk](QByteArrayView bytes) {
        const QString text = gbk.decode(bytes);
        return text.size() == 1 ? text.front().unicode() : char16_t(0xFFFD);
    };
    int pairs = 0, unmapped = 0;
    for (int b = 0; b < GbkTable::kSingles; ++b) {
        const char byte = char(b);
        QCOMPARE(GbkTable::single[b], decoded(QByteArrayView(&byte, 1)));
    }
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
        for (int trail = 0; trail <= 0xFF; ++trail) {
            if (!GbkTable::isTrail(uchar(trail)))
                continue;
            const char pair[2] = {char(lead), char(trail)};
            const char16_t c = GbkTable::pairs[GbkTable::index(uchar(lead), uchar(trail))];
            if (c != decoded(QByteArrayView(pair, 2)))
                QFAIL(qPrintable(QStringLiteral("%1 %2: the table has U+%3")
                                     .arg(lead, 2, 16).arg(trail, 2, 16).arg(int(c), 4, 16, QLatin1Char('0'))));
            ++pairs;
            unmapped += c == 0xFFFD;
        }
    }
    QCOMPARE(pairs, 126 * 190);
    // Code page 936 leaves the user-defined areas and a few more unmapped;
    // most of its 23940 pairs are characters.
    QVERIFY2(unmapped < 2000, qPrintable(QString::number(unmapped)));
    QCOMPARE(GbkTable::single[0x80], u'\u20AC');
    QCOMPARE(GbkTable::pairs[GbkTable::index(0xC4, 0xE3)], u'\u4F60'); // 你
}

QTEST_GUILESS_MAIN(TestListFileReader)
#include "tst_listfilereader.moc"
