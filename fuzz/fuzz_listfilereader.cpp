// libFuzzer target: arbitrary bytes as one list file, through the real reader
// (GBK or UTF-8 decoding, record rules, parseEntry).
//
// Besides what the sanitizers catch, every input is checked against a plain
// model of the reading rules that works on the whole decoded text at once,
// and read twice, with the default chunk size and with a chunk of one to
// seven bytes: chunking must never change a record, a line number, a
// diagnostic or an entry. An input whose length is 15 modulo 16 is repeated up
// to 96 KiB first, so that records beyond kMaxRecordLength and slow readings
// (a hang, -timeout) are reached within a short -max_len.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <QBuffer>
#include <QByteArray>
#include <QString>
#include <QStringDecoder>
#include <QStringList>

#include "ListFileReader.h"

namespace {

constexpr char16_t kReplacement = 0xFFFD;

[[noreturn]] void fail(const char *what, const QString &detail = {})
{
    std::fprintf(stderr, "list-file fuzz check failed: %s %s\n", what, qPrintable(detail));
    std::abort();
}

void check(bool condition, const char *what, const QString &detail = {})
{
    if (!condition) {
        fail(what, detail);
    }
}

struct Reading
{
    QStringList records;
    QList<int> numbers;
    QList<int> lines;
    QList<bool> unclosed;
    QList<bool> truncated;
    qint64 invalid = 0;
    int firstInvalidRecord = 0;
    bool bom = false;

    bool operator==(const Reading &) const = default;
};

QString describe(const Reading &r)
{
    QString s = QStringLiteral("%1 records, invalid %2, first invalid %3, bom %4;")
                    .arg(r.records.size())
                    .arg(r.invalid)
                    .arg(r.firstInvalidRecord)
                    .arg(r.bom);
    for (qsizetype i = 0; i < r.records.size() && i < 8; ++i) {
        s += QStringLiteral(" [%1 line %2%3%4 len %5]")
                 .arg(r.numbers.value(i))
                 .arg(r.lines.value(i))
                 .arg(r.unclosed.value(i) ? QStringLiteral(" unclosed") : QString())
                 .arg(r.truncated.value(i) ? QStringLiteral(" truncated") : QString())
                 .arg(r.records.at(i).size());
    }
    return s;
}

Reading readThrough(const QByteArray &bytes, qsizetype chunkSize)
{
    QBuffer buffer;
    buffer.setData(bytes);
    check(buffer.open(QIODevice::ReadOnly), "buffer opens");
    ListFileReader reader(chunkSize);
    check(reader.open(&buffer, QStringLiteral("fuzz.txt")), "reader opens", reader.errorString());
    Reading r;
    while (!reader.atEnd()) {
        r.records.append(reader.readRecord());
        r.numbers.append(reader.recordNumber());
        r.lines.append(reader.recordLine());
        r.unclosed.append(reader.lastRecordUnclosedQuote());
        r.truncated.append(reader.lastRecordTruncated());
        check(r.records.size() <= bytes.size(), "at most one record per byte");
    }
    r.invalid = reader.invalidCount();
    r.firstInvalidRecord = reader.firstInvalidRecord();
    r.bom = reader.startedWithUtf8Bom();
    check(reader.errorString().isEmpty(), "no read error from a buffer", reader.errorString());
    reader.close();
    check(!reader.isOpen() && reader.atEnd(), "closed");
    check(buffer.isOpen(), "the caller's device stays open");
    return r;
}

bool isGbkLead(uchar b)
{
    return b >= 0x81 && b <= 0xFE;
}

bool isGbkTrail(uchar b)
{
    return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFE);
}

// What the system decoder makes of one single byte or one lead-trail pair,
// decoded on its own and remembered.
const QString &decodedUnit(const uchar *p, int length)
{
    static std::vector<QString> single(0x81);
    static std::vector<QString> pairs(0x10000);
    static std::vector<bool> known(0x10000 + 0x81);
    static QStringDecoder gbk("GBK", QStringConverter::Flag::Stateless);
    const size_t key = length == 1 ? 0x10000 + p[0] : (size_t(p[0]) << 8) | p[1];
    QString &slot = length == 1 ? single[p[0]] : pairs[key];
    if (!known[key]) {
        slot = gbk.decode(QByteArrayView(p, length));
        known[key] = true;
    }
    return slot;
}

// The documented decoding done on the whole file at once: a byte up to 0x80
// or a lead byte with a trail byte is one character, any other byte is one
// U+FFFD and decoding goes on with the next byte.
QString modelDecodeGbk(const QByteArray &bytes, qint64 &invalid)
{
    QString text;
    const auto *p = reinterpret_cast<const uchar *>(bytes.constData());
    const auto *end = p + bytes.size();
    while (p != end) {
        if (*p <= 0x80) {
            text += decodedUnit(p, 1);
            ++p;
        } else if (isGbkLead(*p) && p + 1 != end && isGbkTrail(p[1])) {
            text += decodedUnit(p, 2);
            p += 2;
        } else {
            text += QChar(kReplacement);
            ++invalid;
            ++p;
        }
    }
    return text;
}

// Without the mark: UTF-8 when the first 64 KiB decode without a fault (a
// sequence cut where they end is no fault unless the file ends there too)
// and hold a character of three bytes or more, U+0800 and up.
bool modelLooksUtf8(const QByteArray &bytes)
{
    constexpr qsizetype kLookAhead = 64 * 1024;
    // Stateless, the decoder takes a cut sequence at the end for a fault.
    const bool whole = bytes.size() < kLookAhead;
    QStringDecoder utf8(QStringConverter::Utf8,
        whole ? QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom
              : QStringConverter::Flag::ConvertInitialBom);
    const QString head = utf8.decode(QByteArrayView(bytes).first(std::min(bytes.size(), kLookAhead)));
    if (utf8.hasError())
        return false;
    for (QChar c : head) {
        if (c.unicode() >= 0x800)
            return true;
    }
    return false;
}

bool isLineEnd(QChar c)
{
    return c == u'\r' || c == u'\n';
}

// The record rules of ListFileReader.h over the whole decoded text.
Reading model(const QByteArray &bytes)
{
    Reading r;
    QString text;
    r.bom = bytes.startsWith("\xEF\xBB\xBF");
    if (r.bom || modelLooksUtf8(bytes)) {
        QStringDecoder utf8(
            QStringConverter::Utf8, QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
        text = utf8.decode(QByteArrayView(bytes).sliced(r.bom ? 3 : 0));
        r.invalid = text.count(QChar(kReplacement));
    } else {
        text = modelDecodeGbk(bytes, r.invalid);
    }

    const qsizetype n = text.size();
    qsizetype pos = 0;
    int line = 1;
    // CR, LF and CR LF are one line end each; an LF right after a CR is the
    // second half of a CR LF.
    auto lineEndsIn = [&text](qsizetype from, qsizetype to) {
        int count = 0;
        for (qsizetype i = from; i < to; ++i) {
            if (text.at(i) == u'\r' || (text.at(i) == u'\n' && (i == 0 || text.at(i - 1) != u'\r'))) {
                ++count;
            }
        }
        return count;
    };
    auto skipLineEnds = [&] {
        const qsizetype from = pos;
        while (pos < n && isLineEnd(text.at(pos))) {
            ++pos;
        }
        line += lineEndsIn(from, pos);
    };

    skipLineEnds();
    while (pos < n) {
        const qsizetype start = pos;
        r.records.append(QString());
        r.numbers.append(int(r.records.size()));
        r.lines.append(line);
        bool unclosed = false;
        QString record;
        if (text.at(pos) == u'"') {
            const qsizetype close = text.indexOf(u'"', pos + 1);
            if (close < 0) {
                // No quote closes it: the quote is an ordinary character.
                unclosed = true;
            } else {
                record = text.mid(pos + 1, close - pos - 1);
                pos = close + 1;
            }
        }
        qsizetype delimiter = pos;
        while (delimiter < n && text.at(delimiter) != u',' && !isLineEnd(text.at(delimiter))) {
            ++delimiter;
        }
        record += text.mid(pos, delimiter - pos);
        pos = delimiter < n ? delimiter + 1 : n;
        line += lineEndsIn(start, pos);
        if (record.contains(QChar(kReplacement)) && r.firstInvalidRecord == 0) {
            r.firstInvalidRecord = int(r.records.size());
        }
        const bool truncated = record.size() > ListFileReader::kMaxRecordLength;
        record.truncate(ListFileReader::kMaxRecordLength);
        r.records.last() = record;
        r.unclosed.append(unclosed);
        r.truncated.append(truncated);
        skipLineEnds();
    }
    return r;
}

void checkEntries(const QStringList &records)
{
    for (const QString &record : records) {
        const std::optional<ChannelEntry> entry = ListFileReader::parseEntry(record);
        const QStringList fields = record.split(u'|');
        check(entry.has_value() == (fields.size() >= 3), "an entry exactly when there are three fields", record);
        if (entry) {
            check(entry->displayName == fields.at(1), "display name is field 1", record);
            check(entry->address == fields.at(2), "address is field 2", record);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const bool repeated = size % 16 == 15;
    if (repeated) {
        const QByteArray unit = bytes;
        while (bytes.size() + unit.size() <= 96 * 1024) {
            bytes += unit;
        }
    }
    const Reading whole = readThrough(bytes, ListFileReader::kDefaultChunkSize);
    const Reading expected = model(bytes);
    if (!(whole == expected)) {
        fail("reader differs from the model",
            QStringLiteral("reader: %1 / model: %2").arg(describe(whole), describe(expected)));
    }
    // Repeated inputs are cut into chunks of a few kilobytes (odd sizes, so
    // that pairs and line ends still straddle them): one-byte chunks would
    // make every such input take a second under ASan.
    const qsizetype chunkSize = repeated ? qsizetype(4093 + size / 16 % 7 * 1024) : qsizetype(1 + size / 16 % 7);
    const Reading chunked = readThrough(bytes, chunkSize);
    if (!(chunked == whole)) {
        fail("chunk size changes the reading",
            QStringLiteral("chunk %1: %2 / default: %3").arg(chunkSize).arg(describe(chunked), describe(whole)));
    }
    checkEntries(whole.records);
    return 0;
}
