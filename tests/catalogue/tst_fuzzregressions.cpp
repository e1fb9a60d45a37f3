#include <QBuffer>
#include <QTest>

#include "ListFileReader.h"

using namespace Qt::StringLiterals;

// Inputs that fuzz/fuzz_listfilereader found to break the reader, each with
// what it must read as. Every case is read from a buffer with every chunk
// size from 1 to 8 bytes and with the default, since a reading that depends on
// where the chunks are cut was the typical fault.
namespace {

struct Reading
{
    QStringList records;
    QList<int> lines;
    qint64 invalid = 0;
};

Reading readAll(const QByteArray &bytes, qsizetype chunkSize)
{
    QBuffer buffer;
    buffer.setData(bytes);
    Reading reading;
    ListFileReader reader(chunkSize);
    if (!buffer.open(QIODevice::ReadOnly) || !reader.open(&buffer, u"fuzz.txt"_s)) {
        return reading;
    }
    while (!reader.atEnd() && reading.records.size() <= bytes.size()) {
        reading.records.append(reader.readRecord());
        reading.lines.append(reader.recordLine());
    }
    reading.invalid = reader.invalidCount();
    return reading;
}

} // namespace

class TestFuzzRegressions : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void listFile_data();
    void listFile();
};

void TestFuzzRegressions::listFile_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("records");
    QTest::addColumn<QList<int>>("lines");
    QTest::addColumn<int>("invalid");

    // A fresh UTF-8 decoder per chunk dropped a U+FEFF that began a chunk.
    QTest::addRow("U+FEFF after the byte-order mark")
        << "\xEF\xBB\xBF\x00\xEF\xBB\xBF"_ba << QStringList { u"\0\uFEFF"_s } << QList<int> { 1 } << 0;
    QTest::addRow("U+FEFF inside a UTF-8 record")
        << "\xEF\xBB\xBF|a\xEF\xBB\xBF|b\xEF\xBB\xBF\r\nc"_ba << QStringList { u"|a\uFEFF|b\uFEFF"_s, u"c"_s }
        << QList<int> { 1, 2 } << 0;
    QTest::addRow("doubled byte-order mark")
        << "\xEF\xBB\xBF\xEF\xBB\xBF|a|b"_ba << QStringList { u"\uFEFF|a|b"_s } << QList<int> { 1 } << 0;
}

void TestFuzzRegressions::listFile()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, records);
    QFETCH(QList<int>, lines);
    QList<qsizetype> chunkSizes = { ListFileReader::kDefaultChunkSize };
    for (qsizetype size = 1; size <= 8; ++size) {
        chunkSizes.append(size);
    }
    for (qsizetype chunkSize : chunkSizes) {
        const Reading reading = readAll(bytes, chunkSize);
        QCOMPARE(reading.records, records);
        QCOMPARE(reading.lines, lines);
        QTEST(int(reading.invalid), "invalid");
    }
}

QTEST_GUILESS_MAIN(TestFuzzRegressions)
#include "tst_fuzzregressions.moc"
