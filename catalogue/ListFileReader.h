#pragma once

#include <functional>
#include <optional>

#include <QByteArray>
#include <QFile>
#include <QIODevice>
#include <QString>

#include "ChannelEntry.h"

// Reads one list file sequentially and cuts it into records.
//
// A list file is GBK text (code page 936). A record ends at the first comma,
// CR LF, lone CR or lone LF, or at the end of the file; the delimiter is
// consumed with it and belongs to no record. A record that begins with a
// double quote runs to the next double quote, so that commas and line ends
// between the quotes stay in it; both quotes are dropped.
//
// Files that were edited on other systems read as their author meant:
// - a lone LF or a lone CR ends a record just as CR LF does;
// - blank lines yield no record, wherever they are (so do the line ends
//   after a comma that ends a line): an empty record is only seen when a
//   comma ends it;
// - a file that begins with the UTF-8 byte-order mark is decoded as UTF-8
//   (startedWithUtf8Bom() tells), and so is one without the mark whose
//   first 64 KiB are sound UTF-8 with characters of three bytes or more, as
//   Chinese is (readsUtf8() tells); every other file is GBK;
// - an opening quote that no later quote closes is an ordinary character,
//   and its record ends at the next delimiter like any other, so that it
//   costs no record after it (lastRecordUnclosedQuote() tells); the file is
//   read once more up to that record to find this out, which a device that
//   cannot seek does not allow: there such a record runs to the end;
// - text between a closing quote and the next delimiter is appended to the
//   record, and a quote that does not open a record is an ordinary character;
// - blanks at the edges of a record are kept, quoted or not;
// - every byte that is not valid GBK becomes one U+FFFD and reading goes on
//   with the next byte, so a damaged byte costs one character, never the rest
//   of the file (invalidCount() and firstInvalidRecord() tell).
//
// The file is read in chunks of chunkSize bytes and only the record being
// read is held; a record longer than kMaxRecordLength characters keeps its
// first kMaxRecordLength characters (lastRecordTruncated() tells), so no
// file, however damaged, is ever held whole.
//
// Calling order for one file: open; while atEnd() is false, readRecord and
// parseEntry; close. One reader holds at most one file open.
class ListFileReader
{
public:
    enum class FileEvent
    {
        Opened,
        Closed
    };
    // Told of every list file the reader opens and closes, with the path as
    // given to open(); lets a caller see which files are open at any moment.
    using FileHook = std::function<void(const QString &relativePath, FileEvent event)>;

    static constexpr qsizetype kDefaultChunkSize = 64 * 1024;
    static constexpr qsizetype kMaxRecordLength = 64 * 1024;

    explicit ListFileReader(qsizetype chunkSize = kDefaultChunkSize, FileHook fileHook = {});
    ~ListFileReader();
    ListFileReader(const ListFileReader &) = delete;
    ListFileReader &operator=(const ListFileReader &) = delete;

    // Opens the file, relative to the working directory with "/" between
    // folder and name ("gb/ah.txt"), closing any file still open. On failure
    // nothing is open, atEnd() is true and errorString() says why.
    bool open(const QString &relativePath);
    // Reads from a device that the caller has opened for reading and keeps
    // alive until close(), instead of from a file; name stands for the path
    // (the hook is told of it). Decoding and record rules are the same as for
    // a file, so bytes can be read through the real reader without writing
    // them to disk. The reader never closes or deletes the device.
    bool open(QIODevice *device, const QString &name);
    void close();
    bool isOpen() const;
    QString errorString() const;

    // True when no further record is left; true at once for a file of zero
    // bytes or of blank lines only, and for a reader that has nothing open.
    bool atEnd() const;
    // Reads the next record and consumes its delimiter. Only while !atEnd().
    QString readRecord();

    // Cuts the record at every "|", empty fields included, and returns field 1
    // as the display name and field 2 as the address. A record with fewer than
    // three fields is invalid and yields nothing.
    static std::optional<ChannelEntry> parseEntry(const QString &record);

    // About the file opened last.
    bool startedWithUtf8Bom() const;
    // Whether it is decoded as UTF-8, with or without the mark.
    bool readsUtf8() const;
    // Characters decoded as U+FFFD so far: one per byte that is not valid GBK
    // (in a UTF-8 file, as many as the UTF-8 decoder puts in place of damaged
    // bytes; a U+FFFD written in the file counts too, being what damage looks
    // like).
    qint64 invalidCount() const;
    // Number (from 1) of the first record that holds a U+FFFD, or 0.
    int firstInvalidRecord() const;

    // About the record read last.
    int recordNumber() const; // records read so far, counting from 1
    int recordLine() const;   // line on which the record begins, from 1
    bool lastRecordUnclosedQuote() const;
    bool lastRecordTruncated() const;

private:
    void reset(const QString &name);
    bool start();
    bool fill();
    bool ensureText();
    void decodeGbk(const QByteArray &bytes, bool final);
    void decodeUtf8(const QByteArray &bytes, bool final);
    bool rewindTo(int number);
    void skipLineEnds();
    void countLineEnd(char16_t c);
    void append(QString &record, const char16_t *begin, const char16_t *end);
    bool scanUntil(QString &record, bool quoted);

    qsizetype m_chunkSize;
    FileHook m_fileHook;
    QFile m_file;
    QIODevice *m_device = nullptr; // &m_file, or the caller's device
    QString m_path;
    QString m_error;
    bool m_utf8 = false;
    bool m_bom = false;

    QByteArray m_carry;   // bytes of a character cut at the end of a chunk
    QString m_text;       // decoded text of the current chunk
    qsizetype m_pos = 0;  // next unread character of m_text
    bool m_eof = true;    // the file has been read and decoded to its end

    qint64 m_invalid = 0;
    int m_firstInvalidRecord = 0;
    int m_records = 0;
    int m_line = 1;
    bool m_afterCr = false;
    int m_recordLine = 0;
    bool m_unclosedQuote = false;
    bool m_truncated = false;
    int m_quoteAsText = 0;    // record whose opening quote nothing closes
    bool m_rewinding = false; // reading again up to that record
};
