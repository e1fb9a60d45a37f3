#include "ListFileReader.h"

#include <algorithm>
#include <cstring>

#include <QFileInfo>
#include <QStringDecoder>
#include <QStringView>

#include "GbkTable.h"

namespace {

constexpr char16_t kReplacement = 0xFFFD;

// Length in bytes of the UTF-8 sequence that starts with b, 0 for a byte that
// cannot start one.
int utf8SequenceLength(uchar b)
{
    if (b < 0x80) {
        return 1;
    }
    if (b >= 0xF0) {
        return 4;
    }
    if (b >= 0xE0) {
        return 3;
    }
    if (b >= 0xC0) {
        return 2;
    }
    return 0;
}

// Whether bytes are UTF-8 without a single fault, with at least one
// character of three or four bytes, as every Chinese character in UTF-8 is.
// A cut sequence at the end counts as sound unless the bytes are the whole
// file. Overlong forms and surrogates are faults, so GBK text is almost
// never taken for UTF-8: its lead bytes 81-C1 and F5-FE begin no UTF-8
// sequence at all.
bool isSoundUtf8(QByteArrayView bytes, bool whole)
{
    const auto *p = reinterpret_cast<const uchar *>(bytes.data());
    const auto *end = p + bytes.size();
    bool wide = false;
    while (p != end) {
        const uchar b = *p;
        if (b < 0x80) {
            ++p;
            continue;
        }
        int length = 0;
        uchar low = 0x80, high = 0xBF; // the range of the second byte
        if (b >= 0xC2 && b <= 0xDF) {
            length = 2;
        } else if (b >= 0xE0 && b <= 0xEF) {
            length = 3;
            low = b == 0xE0 ? 0xA0 : 0x80;
            high = b == 0xED ? 0x9F : 0xBF;
        } else if (b >= 0xF0 && b <= 0xF4) {
            length = 4;
            low = b == 0xF0 ? 0x90 : 0x80;
            high = b == 0xF4 ? 0x8F : 0xBF;
        } else {
            return false;
        }
        for (int i = 1; i < length; ++i) {
            if (p + i == end) {
                return !whole && wide;
            }
            const uchar c = p[i];
            if (i == 1 ? (c < low || c > high) : (c < 0x80 || c > 0xBF)) {
                return false;
            }
        }
        wide = wide || length >= 3;
        p += length;
    }
    return wide;
}

// How much of a file is looked at to tell a UTF-8 file without its mark.
constexpr qint64 kSniffBytes = 64 * 1024;

} // namespace

ListFileReader::ListFileReader(qsizetype chunkSize, FileHook fileHook)
    : m_chunkSize(std::max<qsizetype>(chunkSize, 1))
    , m_fileHook(std::move(fileHook))
{
}

ListFileReader::~ListFileReader()
{
    close();
}

bool ListFileReader::open(const QString &relativePath)
{
    reset(relativePath);
    const QFileInfo info(relativePath);
    if (!info.exists()) {
        m_error = QStringLiteral("文件不存在");
        return false;
    }
    // Opening a folder fails without a useful reason, so name it.
    if (info.isDir()) {
        m_error = QStringLiteral("这是一个文件夹，不是文件");
        return false;
    }
    // A named pipe would hold up the start until something writes to it, and
    // a device such as /dev/zero never ends: only plain files are read.
    if (!info.isFile()) {
        m_error = QStringLiteral("这不是普通文件，而是管道、设备或套接字");
        return false;
    }
    m_file.setFileName(relativePath);
    if (!m_file.open(QIODevice::ReadOnly)) {
        m_error = QStringLiteral("无法打开：%1").arg(m_file.errorString());
        return false;
    }
    m_device = &m_file;
    return start();
}

bool ListFileReader::open(QIODevice *device, const QString &name)
{
    reset(name);
    if (device == nullptr || !device->isReadable()) {
        m_error = QStringLiteral("无法打开：设备不可读");
        return false;
    }
    m_device = device;
    return start();
}

void ListFileReader::reset(const QString &name)
{
    close();
    m_path = name;
    m_error.clear();
    m_utf8 = false;
    m_bom = false;
    m_carry.clear();
    m_text.clear();
    m_pos = 0;
    m_eof = true;
    m_invalid = 0;
    m_firstInvalidRecord = 0;
    m_records = 0;
    m_line = 1;
    m_afterCr = false;
    m_recordLine = 0;
    m_unclosedQuote = false;
    m_truncated = false;
    m_quoteAsText = 0;
    m_rewinding = false;
}

// The device is open: tell the hook, look for the byte-order mark and skip
// to the first record.
bool ListFileReader::start()
{
    if (m_fileHook) {
        m_fileHook(m_path, FileEvent::Opened);
    }

    // The mark is looked at before any chunking, so that even the smallest
    // chunk size sees all three of its bytes together.
    const QByteArray head = m_device->read(3);
    if (head == QByteArrayView("\xEF\xBB\xBF")) {
        m_bom = true;
        m_utf8 = true;
    } else {
        m_carry = head;
        // A file saved as UTF-8 without the mark: read as GBK, every name in
        // it would come out garbled, and a name whose last byte pairs with
        // the bar after it would lose a field.
        const QByteArray ahead = head + m_device->peek(kSniffBytes - head.size());
        const bool whole = ahead.size() < kSniffBytes; // peek stops only at the end
        m_utf8 = isSoundUtf8(ahead, whole);
    }
    m_eof = false;
    skipLineEnds();
    return true;
}

void ListFileReader::close()
{
    if (m_device != nullptr) {
        if (m_device == &m_file) {
            m_file.close();
        }
        m_device = nullptr;
        if (m_fileHook) {
            m_fileHook(m_path, FileEvent::Closed);
        }
    }
    m_carry.clear();
    m_text.clear();
    m_pos = 0;
    m_eof = true;
}

bool ListFileReader::isOpen() const
{
    return m_device != nullptr;
}

QString ListFileReader::errorString() const
{
    return m_error;
}

bool ListFileReader::atEnd() const
{
    return m_eof && m_pos >= m_text.size();
}

QString ListFileReader::readRecord()
{
    m_unclosedQuote = false;
    m_truncated = false;
    QString record;
    if (!ensureText()) {
        return record;
    }
    const int number = ++m_records;
    m_recordLine = m_line;
    if (number == m_quoteAsText) {
        // Read again after an opening quote that no quote closed: the quote
        // is an ordinary character this time.
        m_unclosedQuote = true;
    } else if (m_text.at(m_pos) == u'"') {
        ++m_pos;
        if (scanUntil(record, true)) {
            // What follows a closing quote runs to the next delimiter and
            // belongs to the record.
            scanUntil(record, false);
            skipLineEnds();
            return record;
        }
        m_unclosedQuote = true;
        if (!rewindTo(number)) {
            return record; // a device that cannot seek: the quote ran to the end
        }
        record.clear();
        m_truncated = false;
    }
    scanUntil(record, false);
    skipLineEnds();
    return record;
}

// An opening quote that nothing closes would make the rest of the file one
// record and cost every record after it. So the file is read again from its
// start up to that record, which is then read with the quote as an ordinary
// character, up to the next delimiter. Once that has happened no quote is
// left in the rest of the file, so it happens at most once per file.
bool ListFileReader::rewindTo(int number)
{
    if (m_rewinding || m_device->isSequential() || !m_device->seek(m_bom ? 3 : 0)) {
        return false;
    }
    m_rewinding = true;
    m_quoteAsText = number;
    m_carry.clear();
    m_text.clear();
    m_pos = 0;
    m_eof = false;
    m_invalid = 0;
    m_firstInvalidRecord = 0;
    m_records = 0;
    m_line = 1;
    m_afterCr = false;
    skipLineEnds();
    while (m_records < number - 1 && !atEnd()) {
        readRecord();
    }
    m_rewinding = false;
    m_records = number;
    m_recordLine = m_line;
    m_unclosedQuote = true;
    return true;
}

std::optional<ChannelEntry> ListFileReader::parseEntry(const QString &record)
{
    const qsizetype first = record.indexOf(u'|');
    if (first < 0) {
        return std::nullopt;
    }
    const qsizetype second = record.indexOf(u'|', first + 1);
    if (second < 0) {
        return std::nullopt;
    }
    const qsizetype third = record.indexOf(u'|', second + 1);
    ChannelEntry entry;
    entry.displayName = record.mid(first + 1, second - first - 1);
    entry.address = third < 0 ? record.mid(second + 1) : record.mid(second + 1, third - second - 1);
    return entry;
}

bool ListFileReader::readsUtf8() const
{
    return m_utf8;
}

bool ListFileReader::startedWithUtf8Bom() const
{
    return m_bom;
}

qint64 ListFileReader::invalidCount() const
{
    return m_invalid;
}

int ListFileReader::firstInvalidRecord() const
{
    return m_firstInvalidRecord;
}

int ListFileReader::recordNumber() const
{
    return m_records;
}

int ListFileReader::recordLine() const
{
    return m_recordLine;
}

bool ListFileReader::lastRecordUnclosedQuote() const
{
    return m_unclosedQuote;
}

bool ListFileReader::lastRecordTruncated() const
{
    return m_truncated;
}

// Replaces m_text with the next chunk, decoded. False once the file has been
// decoded to its end.
bool ListFileReader::fill()
{
    if (m_eof) {
        return false;
    }
    const qsizetype carried = m_carry.size();
    QByteArray bytes(carried + m_chunkSize, Qt::Uninitialized);
    std::memcpy(bytes.data(), m_carry.constData(), size_t(carried));
    m_carry.clear();
    const qint64 got = m_device->read(bytes.data() + carried, m_chunkSize);
    if (got < 0) {
        m_error = QStringLiteral("读取中断：%1").arg(m_device->errorString());
    }
    bytes.truncate(carried + std::max<qint64>(got, 0));
    const bool final = got <= 0 || m_device->atEnd();

    m_text.clear();
    m_pos = 0;
    if (m_utf8) {
        decodeUtf8(bytes, final);
    } else {
        decodeGbk(bytes, final);
    }
    if (final) {
        m_eof = true;
    }
    return true;
}

bool ListFileReader::ensureText()
{
    while (m_pos >= m_text.size()) {
        if (!fill()) {
            return false;
        }
    }
    return true;
}

// Every byte up to 0x80 and every lead-trail pair gives exactly one
// character; any other byte is replaced here, by exactly one U+FFFD, and the
// byte after it is read afresh: a lead byte followed by a comma still leaves
// the comma a delimiter. So the text fits in bytes.size() units.
void ListFileReader::decodeGbk(const QByteArray &bytes, bool final)
{
    m_text.resize(bytes.size());
    auto *const begin = reinterpret_cast<char16_t *>(m_text.data());
    char16_t *out = begin;
    const auto *p = reinterpret_cast<const uchar *>(bytes.constData());
    const auto *end = p + bytes.size();
    while (p != end) {
        const uchar b = *p;
        if (b <= 0x80) { // 0x80 is the euro sign in code page 936
            *out++ = GbkTable::single[b];
            ++p;
            continue;
        }
        if (GbkTable::isLead(b)) {
            if (p + 1 == end && !final) {
                break; // the trail byte is in the next chunk
            }
            if (p + 1 != end && GbkTable::isTrail(p[1])) {
                const char16_t c = GbkTable::pairs[GbkTable::index(b, p[1])];
                *out++ = c;
                if (c == kReplacement) {
                    ++m_invalid; // a pair this system's decoder has no character for
                }
                p += 2;
                continue;
            }
        }
        *out++ = kReplacement;
        ++m_invalid;
        ++p;
    }
    m_carry = QByteArray(reinterpret_cast<const char *>(p), end - p);
    m_text.truncate(out - begin);
}

void ListFileReader::decodeUtf8(const QByteArray &bytes, bool final)
{
    qsizetype cut = bytes.size();
    if (!final) {
        // Keep a sequence that the chunk cuts short for the next chunk.
        for (qsizetype i = bytes.size() - 1; i >= 0 && i >= bytes.size() - 3; --i) {
            const int length = utf8SequenceLength(uchar(bytes.at(i)));
            if (length == 0) {
                continue;
            }
            if (i + length > bytes.size()) {
                cut = i;
            }
            break;
        }
    }
    // The file's own mark has been read already; a U+FEFF after it is text.
    // Without ConvertInitialBom a fresh decoder would drop one at the start
    // of every chunk, so where the chunks happen to be cut would decide.
    QStringDecoder utf8(QStringConverter::Utf8,
                        QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
    m_text = utf8.decode(QByteArrayView(bytes.constData(), cut));
    m_invalid += m_text.count(QChar(kReplacement));
    m_carry = bytes.mid(cut);
}

// Line ends at the start of a record are blank lines: they give no record.
void ListFileReader::skipLineEnds()
{
    while (ensureText()) {
        const char16_t c = m_text.at(m_pos).unicode();
        if (c != u'\r' && c != u'\n') {
            m_afterCr = false;
            return;
        }
        countLineEnd(c);
        ++m_pos;
    }
}

// CR LF, a lone CR and a lone LF each count as one line end.
void ListFileReader::countLineEnd(char16_t c)
{
    if (c == u'\r') {
        ++m_line;
        m_afterCr = true;
        return;
    }
    if (c == u'\n' && !m_afterCr) {
        ++m_line;
    }
    m_afterCr = false;
}

void ListFileReader::append(QString &record, const char16_t *begin, const char16_t *end)
{
    const qsizetype length = end - begin;
    const qsizetype room = std::max<qsizetype>(kMaxRecordLength - record.size(), 0);
    if (length > room) {
        m_truncated = true;
    }
    if (room > 0 && length > 0) {
        record.append(QStringView(begin, std::min(length, room)));
    }
}

// Appends text to the record up to the closing quote (quoted) or up to the
// next comma or line end, and consumes that character. False when the end of
// the file comes first.
bool ListFileReader::scanUntil(QString &record, bool quoted)
{
    while (ensureText()) {
        const auto *data = reinterpret_cast<const char16_t *>(m_text.constData());
        const char16_t *begin = data + m_pos;
        const char16_t *end = data + m_text.size();
        const char16_t *p = begin;
        if (quoted) {
            for (; p != end && *p != u'"'; ++p) {
                if (*p == kReplacement && m_firstInvalidRecord == 0) {
                    m_firstInvalidRecord = m_records;
                }
                countLineEnd(*p);
            }
        } else {
            for (; p != end && *p != u',' && *p != u'\r' && *p != u'\n'; ++p) {
                if (*p == kReplacement && m_firstInvalidRecord == 0) {
                    m_firstInvalidRecord = m_records;
                }
            }
        }
        append(record, begin, p);
        m_pos = p - data;
        if (p != end) {
            countLineEnd(*p);
            ++m_pos;
            return true;
        }
    }
    return false;
}
