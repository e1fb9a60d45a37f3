#include <algorithm>
#include <functional>

#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QUrl>

#include "ChannelCatalogue.h"
#include "GbkFiles.h"

using namespace Qt::StringLiterals;

// The lumora program started on damaged catalogues, one temporary working
// folder per case. Every case runs two processes: lumora-startup-probe, which
// starts through the program's own Startup functions and prints what it
// loaded and its peak memory once the window is exposed, and the real lumora
// binary, whose window is waited for with xdotool. For each case the window
// must appear, within bounded memory; every problem must be
// reported on stderr naming its file (and its record, where a record is at
// fault) in at most eleven lines per file; every valid record before and after
// a damaged one must be loaded; and both processes must report the same.
// How soon the window appears on damaged catalogues is a figure of
// bench/app/bench_startup, not a bound here.
namespace {

#ifdef LUMORA_SANITIZED
// ASan and UBSan add their shadow memory; memory is then only held against
// the program's own use on an empty catalogue.
constexpr qint64 kPeakKiB = 0;
#else
constexpr qint64 kPeakKiB = 150 * 1024;
#endif
// A 100 MB list file must not be held whole: peak memory may grow by less
// than that over an empty catalogue's.
constexpr qint64 kGrowthKiB = 60 * 1024;
constexpr int kLinesPerFile = 11; // ten problems, then the count of the rest

struct Design
{
    QString listFile;
    QString arrayName;
    QString caption;
    int capacity;
};

const QList<Design> &design()
{
    static const QList<Design> groups = [] {
        const QStringList captions = { u"安徽"_s, u"广东"_s, u"广西"_s, u"河北"_s, u"黑龙江"_s, u"湖北"_s, u"河南"_s,
            u"江西"_s, u"江苏"_s, u"辽宁"_s, u"四川"_s, u"山东"_s, u"中国国际广播电台"_s, u"中央人民广播电台"_s,
            u"广播列表"_s, u"电视列表"_s, u"相声列表"_s };
        QList<Design> list;
        int i = 0;
        for (const auto &d : GroupTable::groups()) {
            list.append({ QString(d.listFile), QString(d.arrayName), captions.at(i++), d.capacity });
        }
        return list;
    }();
    return groups;
}

const Design &group(const QString &arrayName)
{
    for (const Design &d : design()) {
        if (d.arrayName == arrayName) {
            return d;
        }
    }
    qFatal("no group %s", qPrintable(arrayName));
}

struct Entry
{
    QString caption;
    QString address;
    bool operator==(const Entry &) const = default;
};

QString goodName(const QString &arrayName, int k)
{
    return u"%1台%2"_s.arg(group(arrayName).caption).arg(k);
}

QString goodAddress(const QString &arrayName, int k)
{
    return u"http://127.0.0.1:9/%1/%2"_s.arg(arrayName).arg(k);
}

Entry good(const QString &arrayName, int k)
{
    return { goodName(arrayName, k), goodAddress(arrayName, k) };
}

QString goodRecord(const QString &arrayName, int k)
{
    return u"|%1|%2"_s.arg(goodName(arrayName, k), goodAddress(arrayName, k));
}

QByteArray goodLines(const QString &arrayName, int from, int to)
{
    QStringList records;
    for (int k = from; k <= to; ++k) {
        records.append(goodRecord(arrayName, k));
    }
    return GbkFiles::crlfLines(records);
}

QList<Entry> goodEntries(const QString &arrayName, int from, int to)
{
    QList<Entry> entries;
    for (int k = from; k <= to; ++k) {
        entries.append(good(arrayName, k));
    }
    return entries;
}

QString fileOf(const QString &arrayName)
{
    return group(arrayName).listFile;
}

void write(const QString &arrayName, const QByteArray &bytes)
{
    QFile::remove(fileOf(arrayName));
    QVERIFY(GbkFiles::writeBytes(fileOf(arrayName), bytes));
}

QByteArray randomBytes(qsizetype size, quint32 seed)
{
    QRandomGenerator random(seed);
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i) {
        bytes[i] = char(random.bounded(256));
    }
    return bytes;
}

// What one case must show. Every group not named in entries must hold its
// three good records; a group named with an empty list keeps item 0 with its
// design caption and an empty address. Every file named in lines must have
// reported lines that contain each of the given texts; every file not named
// must have reported nothing.
struct Expect
{
    QMap<QString, QList<Entry>> entries;
    // For groups whose damaged middle cannot be predicted: the entries that
    // must open and close the group.
    QMap<QString, QPair<QList<Entry>, QList<Entry>>> frame;
    QMap<QString, QStringList> lines;
};

struct Case
{
    QString name;
    std::function<void()> write;
    Expect expect;
    bool asNobody = false;
};

QString record(int number, int line)
{
    return u"第 %1 条记录（第 %2 行）"_s.arg(number).arg(line);
}

QList<Case> cases()
{
    QList<Case> list;
    const QByteArray bom = "\xEF\xBB\xBF";
    auto allDesign = [] {
        QMap<QString, QList<Entry>> entries;
        for (const Design &d : design()) {
            entries[d.arrayName] = {};
        }
        return entries;
    };

    list.append({ u"good catalogue"_s, [] {}, {} });
    list.append({ u"no list files at all"_s,
        [] {
            QVERIFY(QDir(u"gb"_s).removeRecursively());
            for (const Design &d : design()) {
                QFile::remove(d.listFile);
            }
        },
        [&] {
            Expect e;
            e.entries = allDesign();
            for (const Design &d : design()) {
                e.lines[d.listFile] = { u"无法读取（文件不存在）"_s };
            }
            return e;
        }() });
    list.append({ u"one file missing"_s, [] { QVERIFY(QFile::remove(fileOf(u"hn"_s))); },
        { { { u"hn"_s, {} } }, {}, { { u"gb/hn.txt"_s, { u"文件不存在"_s } } } } });
    list.append({ u"folder gb missing"_s, [] { QVERIFY(QDir(u"gb"_s).removeRecursively()); },
        [] {
            Expect e;
            for (const Design &d : design().first(14)) {
                e.entries[d.arrayName] = {};
                e.lines[d.listFile] = { u"文件不存在"_s };
            }
            return e;
        }() });
    list.append({ u"gb is a file, not a folder"_s,
        [] {
            QVERIFY(QDir(u"gb"_s).removeRecursively());
            QVERIFY(GbkFiles::writeBytes(u"gb"_s, goodLines(u"ah"_s, 1, 3)));
        },
        [] {
            Expect e;
            for (const Design &d : design().first(14)) {
                e.entries[d.arrayName] = {};
                e.lines[d.listFile] = { u"无法读取"_s };
            }
            return e;
        }() });
    list.append({ u"folder in place of a file"_s,
        [] {
            QVERIFY(QFile::remove(u"tv.txt"_s));
            QVERIFY(QDir().mkpath(u"tv.txt/sub"_s));
        },
        { { { u"tvlist"_s, {} } }, {}, { { u"tv.txt"_s, { u"文件夹"_s } } } } });
    list.append({ u"dangling link"_s,
        [] {
            QVERIFY(QFile::remove(u"xs.txt"_s));
            QVERIFY(QFile::link(u"nowhere.txt"_s, u"xs.txt"_s));
        },
        { { { u"xslist"_s, {} } }, {}, { { u"xs.txt"_s, { u"文件不存在"_s } } } } });
    list.append({ u"link to itself"_s,
        [] {
            QVERIFY(QFile::remove(u"gb/sc.txt"_s));
            QVERIFY(::symlink("sc.txt", "gb/sc.txt") == 0);
        },
        { { { u"sc"_s, {} } }, {}, { { u"gb/sc.txt"_s, { u"无法读取"_s } } } } });
    list.append({ u"named pipe"_s,
        [] {
            QVERIFY(QFile::remove(u"gb/gd.txt"_s));
            QVERIFY(::mkfifo("gb/gd.txt", 0644) == 0);
        },
        { { { u"gd"_s, {} } }, {}, { { u"gb/gd.txt"_s, { u"不是普通文件"_s } } } } });
    list.append({ u"link to an endless device"_s,
        [] {
            QVERIFY(QFile::remove(u"gb/gx.txt"_s));
            QVERIFY(QFile::link(u"/dev/zero"_s, u"gb/gx.txt"_s));
        },
        { { { u"gx"_s, {} } }, {}, { { u"gb/gx.txt"_s, { u"不是普通文件"_s } } } } });
    // Root reads any file whatever its mode, so as root this case runs as
    // the nobody user (with an off-screen window: nobody may not use the
    // test's X server).
    list.append({ u"unreadable file (mode 000)"_s, [] { QVERIFY(::chmod("gb/hb.txt", 0) == 0); },
        { { { u"hb"_s, {} } }, {}, { { u"gb/hb.txt"_s, { u"无法打开"_s } } } }, ::geteuid() == 0 });
    // Opens like a file, fails on the first read (EIO): unreadable for root too.
    list.append({ u"file that fails to read"_s,
        [] {
            QVERIFY(QFile::remove(u"gb/ln.txt"_s));
            QVERIFY(QFile::link(u"/proc/self/mem"_s, u"gb/ln.txt"_s));
        },
        { { { u"ln"_s, {} } }, {}, { { u"gb/ln.txt"_s, { u"读取中断"_s, u"其后的内容未载入"_s } } } } });
    list.append({ u"zero bytes, every file"_s,
        [] {
            for (const Design &d : design()) {
                QVERIFY(GbkFiles::writeBytes(d.listFile, {}));
            }
        },
        { allDesign(), {}, {} } });
    list.append(
        { u"blank lines only"_s, [] { write(u"gblist"_s, "\r\n\r\n\n\r\r\n"); }, { { { u"gblist"_s, {} } }, {}, {} } });
    list.append({ u"byte-order mark only"_s, [bom] { write(u"tvlist"_s, bom); },
        { { { u"tvlist"_s, {} } }, {}, { { u"tv.txt"_s, { u"按 UTF-8 解码"_s } } } } });
    list.append({ u"random bytes between good records"_s,
        [] {
            write(u"xslist"_s,
                goodLines(u"xslist"_s, 1, 3) + randomBytes(16 * 1024, 7) + "\r\n" + goodLines(u"xslist"_s, 4, 6));
        },
        { {}, { { u"xslist"_s, { goodEntries(u"xslist"_s, 1, 3), goodEntries(u"xslist"_s, 4, 6) } } },
            { { u"xs.txt"_s, { u"不是有效的 GBK 编码"_s, u"个问题没有逐条列出"_s } } } } });
    list.append({ u"random bytes, whole file"_s, [] { write(u"hubei"_s, randomBytes(1024 * 1024, 11)); },
        { {}, { { u"hubei"_s, {} } }, { { u"gb/hubei.txt"_s, { u"不是有效的 GBK 编码"_s } } } } });
    list.append({ u"a megabyte of NUL bytes"_s, [] { write(u"cri"_s, QByteArray(1024 * 1024, '\0')); },
        { { { u"cri"_s, {} } }, {},
            { { u"gb/cri.txt"_s, { record(1, 1) + u"超过 65536 个字符"_s, record(1, 1) + u"只有 1 个字段"_s } } } } });
    list.append({ u"NUL bytes inside records"_s,
        [] { write(u"cnr"_s, goodLines(u"cnr"_s, 1, 1) + "|a\0b|http://h/\0x\r\n"_ba + goodLines(u"cnr"_s, 2, 3)); },
        { { { u"cnr"_s,
              { good(u"cnr"_s, 1), { u"a\0b"_s, u"http://h/\0x"_s }, good(u"cnr"_s, 2), good(u"cnr"_s, 3) } } },
            {}, {} } });
    list.append({ u"100 MB list file"_s,
        [] {
            QByteArray block;
            for (int k = 1; block.size() < 1024 * 1024; ++k) {
                block += GbkFiles::toGbk(goodRecord(u"gblist"_s, k)) + "\r\n";
            }
            QFile file(fileOf(u"gblist"_s));
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            for (int i = 0; i < 100; ++i) {
                QCOMPARE(file.write(block), block.size());
            }
        },
        { { { u"gblist"_s, goodEntries(u"gblist"_s, 1, 301) } }, {},
            { { u"gb.txt"_s, { u"超出本组容量 301：从第 302 条记录起"_s } } } } });
    list.append({ u"a single 10 MB line"_s,
        [] {
            write(u"xslist"_s,
                goodLines(u"xslist"_s, 1, 1) + GbkFiles::toGbk(u"|长行|http://h/"_s) + QByteArray(10 * 1024 * 1024, 'x')
                    + "\r\n" + goodLines(u"xslist"_s, 2, 3));
        },
        { { { u"xslist"_s,
              { good(u"xslist"_s, 1), { u"长行"_s, u"http://h/"_s + QString(65536 - 13, u'x') }, good(u"xslist"_s, 2),
                  good(u"xslist"_s, 3) } } },
            {}, { { u"xs.txt"_s, { record(2, 2) + u"超过 65536 个字符"_s } } } } });
    list.append({ u"unterminated quote"_s,
        [] {
            write(u"hb"_s,
                goodLines(u"hb"_s, 1, 1) + GbkFiles::toGbk(u"\"|引号|http://h/q\r\n"_s) + goodLines(u"hb"_s, 2, 3));
        },
        { { { u"hb"_s, { good(u"hb"_s, 1), { u"引号"_s, u"http://h/q"_s }, good(u"hb"_s, 2), good(u"hb"_s, 3) } } }, {},
            { { u"gb/hb.txt"_s, { record(2, 2) + u"的双引号没有闭合"_s } } } } });
    list.append({ u"unterminated quote, last record"_s,
        [] { write(u"tvlist"_s, goodLines(u"tvlist"_s, 1, 3) + "\"|q|http://h/q"); },
        { { { u"tvlist"_s, goodEntries(u"tvlist"_s, 1, 3) << Entry { u"q"_s, u"http://h/q"_s } } }, {},
            { { u"tv.txt"_s, { record(4, 4) + u"的双引号没有闭合"_s } } } } });
    list.append({ u"thousands of bars"_s,
        [] {
            write(u"jx"_s,
                goodLines(u"jx"_s, 1, 1) + "|bars|http://h/bars" + QByteArray(5000, '|') + "\r\n"
                    + QByteArray(60000, '|') + "\r\n" + goodLines(u"jx"_s, 2, 3));
        },
        { { { u"jx"_s,
              { good(u"jx"_s, 1), { u"bars"_s, u"http://h/bars"_s }, {}, good(u"jx"_s, 2), good(u"jx"_s, 3) } } },
            {}, {} } });
    list.append({ u"invalid GBK bytes"_s,
        [] {
            write(u"js"_s,
                goodLines(u"js"_s, 1, 1) + GbkFiles::toGbk(u"|坏"_s) + "\xFF" + GbkFiles::toGbk(u"字|http://h/"_s)
                    + "\x81\x30k\r\n" + goodLines(u"js"_s, 2, 3));
        },
        { { { u"js"_s,
              { good(u"js"_s, 1), { u"坏\uFFFD字"_s, u"http://h/\uFFFD0k"_s }, good(u"js"_s, 2), good(u"js"_s, 3) } } },
            {}, { { u"gb/js.txt"_s, { u"有 2 处不是有效的 GBK 编码"_s, u"第一处在第 2 条记录"_s } } } } });
    list.append({ u"lead byte at the end of the file"_s, [] { write(u"sd"_s, goodLines(u"sd"_s, 1, 3) + "\xB0"); },
        { {}, {}, { { u"gb/sd.txt"_s, { record(4, 4) + u"只有 1 个字段"_s, u"有 1 处不是有效的 GBK 编码"_s } } } } });
    list.append({ u"UTF-8 with byte-order mark"_s,
        [bom] { write(u"sc"_s, bom + (goodRecord(u"sc"_s, 1) + u"\r\n|成都台|http://h/cd\r\n"_s).toUtf8()); },
        { { { u"sc"_s, { good(u"sc"_s, 1), { u"成都台"_s, u"http://h/cd"_s } } } }, {},
            { { u"gb/sc.txt"_s, { u"按 UTF-8 解码"_s } } } } });
    // Read as GBK, the Chinese name would come out garbled and its last
    // byte would pair with the bar after it; the file is sound UTF-8, so it
    // is read as UTF-8 and says so.
    list.append({ u"UTF-8 without byte-order mark"_s,
        [] { write(u"gd"_s, u"|News|http://h/1\r\n|中文台|http://h/2\r\n|Music|http://h/3\r\n"_s.toUtf8()); },
        { { { u"gd"_s,
              { { u"News"_s, u"http://h/1"_s }, { u"中文台"_s, u"http://h/2"_s }, { u"Music"_s, u"http://h/3"_s } } } },
            {}, { { u"gb/gd.txt"_s, { u"按 UTF-8 解码"_s } } } } });
    list.append(
        { u"CR-only line ends"_s, [] { write(u"tvlist"_s, goodLines(u"tvlist"_s, 1, 3).replace("\r\n", "\r")); }, {} });
    list.append(
        { u"LF-only line ends"_s, [] { write(u"xslist"_s, goodLines(u"xslist"_s, 1, 3).replace("\r\n", "\n")); }, {} });
    list.append({ u"mixed line ends and blank lines"_s,
        [] {
            write(u"ah"_s,
                "\r\n\n" + GbkFiles::toGbk(goodRecord(u"ah"_s, 1)) + "\n\r\n\r"
                    + GbkFiles::toGbk(goodRecord(u"ah"_s, 2)) + "\r\r\n\n" + GbkFiles::toGbk(goodRecord(u"ah"_s, 3))
                    + "\r\n\r\n");
        },
        {} });
    list.append({ u"every file at its capacity plus one"_s,
        [] {
            for (const Design &d : design()) {
                write(d.arrayName, goodLines(d.arrayName, 1, d.capacity + 1));
            }
        },
        [] {
            Expect e;
            for (const Design &d : design()) {
                e.entries[d.arrayName] = goodEntries(d.arrayName, 1, d.capacity);
                e.lines[d.listFile]
                    = { u"超出本组容量 %1：从第 %2 条记录起的 1 条记录未载入"_s.arg(d.capacity).arg(d.capacity + 1) };
            }
            return e;
        }() });
    list.append({ u"100000 empty records between good ones"_s,
        [] {
            write(u"gblist"_s,
                GbkFiles::toGbk(goodRecord(u"gblist"_s, 1)) + QByteArray(100000, ',')
                    + GbkFiles::toGbk(goodRecord(u"gblist"_s, 2)));
        },
        { { { u"gblist"_s, goodEntries(u"gblist"_s, 1, 2) } }, {},
            { { u"gb.txt"_s, { record(2, 1) + u"只有 1 个字段"_s, u"还有 99989 个问题没有逐条列出"_s } } } } });
    list.append({ u"100000 one-field lines between good ones"_s,
        [] {
            QByteArray lines;
            for (int i = 0; i < 100000; ++i) {
                lines += "x\r\n";
            }
            write(u"tvlist"_s, goodLines(u"tvlist"_s, 1, 1) + lines + goodLines(u"tvlist"_s, 2, 3));
        },
        { {}, {}, { { u"tv.txt"_s, { record(2, 2) + u"只有 1 个字段"_s, u"还有 99990 个问题没有逐条列出"_s } } } } });
    list.append({ u"short records between good ones"_s,
        [] {
            write(u"ah"_s,
                goodLines(u"ah"_s, 1, 1) + GbkFiles::crlfLines({ u"缺字段|http://h/x"_s }) + goodLines(u"ah"_s, 2, 2)
                    + "," + goodLines(u"ah"_s, 3, 3));
        },
        { {}, {}, { { u"gb/ah.txt"_s, { record(2, 2) + u"只有 2 个字段"_s, record(4, 4) + u"只有 1 个字段"_s } } } } });
    list.append({ u"bad records, then more than the capacity"_s,
        [] {
            QByteArray bytes;
            for (int i = 0; i < 20; ++i) {
                bytes += "bad\r\n";
            }
            write(u"cri"_s, bytes + goodLines(u"cri"_s, 1, 12));
        },
        { { { u"cri"_s, goodEntries(u"cri"_s, 1, 11) } }, {},
            { { u"gb/cri.txt"_s,
                { record(1, 1), u"从第 32 条记录起的 1 条记录未载入"_s, u"还有 11 个问题没有逐条列出"_s } } } } });
    // Every kind of damage at once, one file each: the terminal still gets at
    // most eleven lines a file.
    list.append({ u"everything at once"_s,
        [] {
            QVERIFY(QFile::remove(u"gb/ah.txt"_s));
            QVERIFY(QFile::remove(u"gb/gd.txt"_s));
            QVERIFY(QDir().mkpath(u"gb/gd.txt"_s));
            QVERIFY(QFile::remove(u"gb/gx.txt"_s));
            QVERIFY(::mkfifo("gb/gx.txt", 0644) == 0);
            write(u"hb"_s, randomBytes(256 * 1024, 3));
            write(u"hlj"_s, QByteArray(100000, ','));
            write(u"hubei"_s, QByteArray(300000, '\0'));
            write(u"gblist"_s, goodLines(u"gblist"_s, 1, 400));
            write(u"tvlist"_s, "\"" + goodLines(u"tvlist"_s, 1, 3));
        },
        [] {
            Expect e;
            for (const QString &name : { u"ah"_s, u"gd"_s, u"gx"_s, u"hlj"_s, u"hubei"_s }) {
                e.entries[name] = {};
            }
            e.frame[u"hb"_s] = {};
            e.entries[u"gblist"_s] = goodEntries(u"gblist"_s, 1, 301);
            e.entries[u"tvlist"_s] = goodEntries(u"tvlist"_s, 1, 3);
            e.lines = { { u"gb/ah.txt"_s, { u"文件不存在"_s } }, { u"gb/gd.txt"_s, { u"文件夹"_s } },
                { u"gb/gx.txt"_s, { u"不是普通文件"_s } }, { u"gb/hb.txt"_s, { u"GBK"_s } },
                { u"gb/hlj.txt"_s, { u"还有 99990 个问题"_s } }, { u"gb/hubei.txt"_s, { u"超过 65536 个字符"_s } },
                { u"gb.txt"_s, { u"从第 302 条记录起的 99 条记录未载入"_s } },
                { u"tv.txt"_s, { record(1, 1) + u"的双引号没有闭合"_s } } };
            return e;
        }() });
    return list;
}

struct Run
{
    bool shown = false;
    qint64 peakKiB = -1;
    QMap<QString, QList<Entry>> groups;
    QStringList catalogueLines; // without the category prefix
    QStringList otherLines;
    QString failure;
};

const QString kCategory = u"lumora.catalogue: "_s;

void splitStderr(const QByteArray &bytes, Run &run)
{
    for (const QString &line : QString::fromUtf8(bytes).split(u'\n', Qt::SkipEmptyParts)) {
        if (line.startsWith(kCategory)) {
            run.catalogueLines.append(line.mid(kCategory.size()));
        } else {
            run.otherLines.append(line);
        }
    }
}

qint64 peakKiBOf(qint64 pid)
{
    QFile status(u"/proc/%1/status"_s.arg(pid));
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    static const QRegularExpression hwm(u"VmHWM:\\s*(\\d+)"_s);
    const QRegularExpressionMatch m = hwm.match(QString::fromLatin1(status.readAll()));
    return m.hasMatch() ? m.captured(1).toLongLong() : -1;
}

QProcessEnvironment childEnvironment(bool offscreen)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"LC_ALL"_s, u"C.UTF-8"_s);
#ifdef LUMORA_SANITIZED
    // Freed memory held back by ASan would count as the program's.
    env.insert(u"ASAN_OPTIONS"_s, env.value(u"ASAN_OPTIONS"_s) + u":quarantine_size_mb=16"_s);
#endif
    if (offscreen) {
        env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        env.insert(u"HOME"_s, QDir::currentPath());
        env.remove(u"XAUTHORITY"_s);
    }
    return env;
}

Run probeOnce(const QString &dir, bool asNobody)
{
    Run run;
    QProcess p;
    p.setWorkingDirectory(dir);
    p.setProcessEnvironment(childEnvironment(asNobody));
    if (asNobody) {
        p.start(u"setpriv"_s,
            { u"--reuid=65534"_s, u"--regid=65534"_s, u"--clear-groups"_s, QStringLiteral(LUMORA_PROBE_PATH) });
    } else {
        p.start(QStringLiteral(LUMORA_PROBE_PATH), QStringList());
    }
    QByteArray out;
    while (p.waitForReadyRead(15000)) {
        out += p.readAllStandardOutput();
        if (!run.shown && out.contains("shown\n")) {
            run.shown = true;
        }
        if (out.contains("done\n")) {
            break;
        }
    }
    if (!p.waitForFinished(15000)) {
        p.kill();
        p.waitForFinished();
        run.failure = u"the probe did not end"_s;
    }
    out += p.readAllStandardOutput();
    splitStderr(p.readAllStandardError(), run);
    if (!run.shown) {
        run.failure = u"no window shown; exit %1, stderr: %2"_s.arg(p.exitCode())
                          .arg((run.otherLines + run.catalogueLines).join(u'\n').left(2000));
    } else if (run.failure.isEmpty() && (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)) {
        // Under the sanitizers a report makes the probe fail at its exit.
        run.failure
            = u"the probe ended with %1, stderr: %2"_s.arg(p.exitCode()).arg(run.otherLines.join(u'\n').left(4000));
    }
    for (const QByteArray &line : out.split('\n')) {
        const QList<QByteArray> f = line.split(' ');
        if (f.value(0) == "group") {
            run.groups[QString::fromUtf8(f.value(1))];
        } else if (f.value(0) == "item" && f.size() == 5) {
            run.groups[QString::fromUtf8(f.value(1))].append(
                { QUrl::fromPercentEncoding(f.value(3)), QUrl::fromPercentEncoding(f.value(4)) });
        } else if (f.value(0) == "vmhwm") {
            run.peakKiB = f.value(1).toLongLong();
        }
    }
    return run;
}

bool windowVisible(qint64 pid)
{
    QProcess xdotool;
    xdotool.start(u"xdotool"_s, { u"search"_s, u"--onlyvisible"_s, u"--pid"_s, QString::number(pid) });
    return xdotool.waitForFinished(5000) && xdotool.exitStatus() == QProcess::NormalExit && xdotool.exitCode() == 0
        && !xdotool.readAllStandardOutput().trimmed().isEmpty();
}

// The real program: waits for its window to become visible, reads its peak
// memory, and ends it (it has no other way out than its window).
Run programOnce(const QString &dir)
{
    Run run;
    QProcess p;
    p.setWorkingDirectory(dir);
    p.setProcessEnvironment(childEnvironment(false));
    QElapsedTimer clock;
    clock.start();
    p.start(QStringLiteral(LUMORA_PROGRAM_PATH), QStringList());
    if (!p.waitForStarted(5000)) {
        run.failure = u"lumora did not start: %1"_s.arg(p.errorString());
        return run;
    }
    while (clock.elapsed() < 15000 && p.state() == QProcess::Running) {
        if (windowVisible(p.processId())) {
            run.shown = true;
            run.peakKiB = peakKiBOf(p.processId());
            break;
        }
        QThread::msleep(40);
    }
    p.terminate();
    if (!p.waitForFinished(5000)) {
        p.kill();
        p.waitForFinished();
    }
    splitStderr(p.readAllStandardError(), run);
    if (!run.shown) {
        run.failure = u"no visible window of lumora; stderr: %1"_s.arg(
            (run.otherLines + run.catalogueLines).join(u'\n').left(2000));
    }
    return run;
}

// A busy X server (Xvfb under load) now and then refuses a connection; that
// says nothing about the program, so such a start is simply made again.
bool refusedByDisplay(const Run &run)
{
    return !run.shown
        && (run.failure.contains(u"could not connect to display"_s)
            || run.failure.contains(u"no Qt platform plugin could be initialized"_s));
}

// Under the sanitizers the leak check's own tracer now and then crashes while
// the program's threads end ("LeakSanitizer has encountered a fatal error"):
// no report on the program, so that run is made again too. A leak found is
// a report, and still fails.
bool leakCheckerFailed(const Run &run)
{
    return run.failure.contains(u"LeakSanitizer has encountered a fatal error"_s);
}

Run runProbe(const QString &dir, bool asNobody)
{
    Run run = probeOnce(dir, asNobody);
    for (int attempt = 1; attempt < 4 && (refusedByDisplay(run) || leakCheckerFailed(run)); ++attempt) {
        QThread::msleep(200);
        run = probeOnce(dir, asNobody);
    }
    return run;
}

Run runProgram(const QString &dir)
{
    Run run = programOnce(dir);
    for (int attempt = 1; attempt < 4 && refusedByDisplay(run); ++attempt) {
        QThread::msleep(200);
        run = programOnce(dir);
    }
    return run;
}

QString fileNamed(const QString &line)
{
    static const QRegularExpression file(u"^列表文件 \"([^\"]+)\" "_s);
    const QRegularExpressionMatch m = file.match(line);
    return m.hasMatch() ? m.captured(1) : QString();
}

QString show(const QList<Entry> &entries)
{
    QStringList parts;
    for (const Entry &e : entries.first(std::min<qsizetype>(entries.size(), 6))) {
        parts.append(u"%1 → %2"_s.arg(e.caption.left(40), e.address.left(60)));
    }
    return u"%1 items: %2"_s.arg(entries.size()).arg(parts.join(u"; "_s));
}

} // namespace

class TestBadListFiles : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void startsOnDamagedCatalogue_data();
    void startsOnDamagedCatalogue();
    void cleanupTestCase();

private:
    qint64 m_emptyPeakKiB = -1;
    QStringList m_summary;
};

void TestBadListFiles::initTestCase()
{
    QVERIFY2(!qEnvironmentVariableIsEmpty("DISPLAY"), "needs an X display (the suite runs under xvfb-run)");
    QVERIFY2(!QStandardPaths::findExecutable(u"xdotool"_s).isEmpty(), "needs xdotool (./lumora.sh test installs it)");
    QVERIFY(QFileInfo(QStringLiteral(LUMORA_PROBE_PATH)).isExecutable());
    QVERIFY(QFileInfo(QStringLiteral(LUMORA_PROGRAM_PATH)).isExecutable());

    // What the program takes on an empty catalogue, to hold growth against.
    QTemporaryDir empty;
    QVERIFY(empty.isValid());
    const Run run = runProbe(empty.path(), false);
    QVERIFY2(run.failure.isEmpty(), qPrintable(run.failure));
    m_emptyPeakKiB = run.peakKiB;
    QVERIFY(m_emptyPeakKiB > 0);
    m_summary.append(u"%1 %2 %3"_s.arg(u"case"_s, -44).arg(u"peak MB"_s, 8).arg(u"lines"_s, 6));
    m_summary.append(u"%1 %2 %3"_s.arg(u"(empty catalogue)"_s, -44).arg(m_emptyPeakKiB / 1024.0, 8, 'f', 1).arg(0, 6));
}

void TestBadListFiles::startsOnDamagedCatalogue_data()
{
    QTest::addColumn<int>("index");
    const QList<Case> all = cases();
    QVERIFY(all.size() >= 30);
    for (int i = 0; i < all.size(); ++i) {
        QTest::newRow(qPrintable(all.at(i).name)) << i;
    }
}

void TestBadListFiles::startsOnDamagedCatalogue()
{
    QFETCH(int, index);
    const Case c = cases().at(index);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.path()));
    auto back = qScopeGuard([&] { QDir::setCurrent(previous); });
    for (const Design &d : design()) {
        QVERIFY(GbkFiles::writeBytes(d.listFile, goodLines(d.arrayName, 1, 3)));
    }
    c.write();
    if (QTest::currentTestFailed()) {
        return;
    }
    if (c.asNobody) {
        // The folder and its files must be open to nobody, all but the one
        // that is to be unreadable.
        QVERIFY(::chmod(qPrintable(dir.path()), 0755) == 0);
        QProcess check;
        check.start(u"setpriv"_s,
            { u"--reuid=65534"_s, u"--regid=65534"_s, u"--clear-groups"_s, u"test"_s, u"-x"_s,
                QStringLiteral(LUMORA_PROBE_PATH) });
        if (!check.waitForFinished(5000) || check.exitCode() != 0) {
            QSKIP(
                "running as root, and the probe cannot be run as nobody here (setpriv missing or build folder closed)");
        }
    }

    const Run probe = runProbe(dir.path(), c.asNobody);
    QVERIFY2(probe.failure.isEmpty(), qPrintable(probe.failure));

    // Reported lines: each names its file, at most eleven per file, and each
    // file with a problem has the expected ones, naming the record.
    QMap<QString, QStringList> byFile;
    for (const QString &line : std::as_const(probe.catalogueLines)) {
        const QString file = fileNamed(line);
        QVERIFY2(!file.isEmpty(), qPrintable(u"a catalogue line that names no file: "_s + line));
        byFile[file].append(line);
    }
    for (auto it = byFile.cbegin(); it != byFile.cend(); ++it) {
        QVERIFY2(c.expect.lines.contains(it.key()),
            qPrintable(u"unexpected lines for %1:\n%2"_s.arg(it.key(), it.value().join(u'\n'))));
        QVERIFY2(
            it.value().size() <= kLinesPerFile, qPrintable(u"%1 lines for %2"_s.arg(it.value().size()).arg(it.key())));
    }
    for (auto it = c.expect.lines.cbegin(); it != c.expect.lines.cend(); ++it) {
        const QStringList lines = byFile.value(it.key());
        QVERIFY2(!lines.isEmpty(), qPrintable(u"nothing reported for "_s + it.key()));
        for (const QString &text : it.value()) {
            QVERIFY2(lines.join(u'\n').contains(text),
                qPrintable(u"no line for %1 says \"%2\":\n%3"_s.arg(it.key(), text, lines.join(u'\n'))));
        }
    }
    // Whatever else is on stderr (Qt, libmpv) stays a few lines.
    QVERIFY2(probe.otherLines.size() <= 10, qPrintable(probe.otherLines.join(u'\n')));

    // Loaded entries.
    for (const Design &d : design()) {
        const QList<Entry> got = probe.groups.value(d.arrayName);
        QVERIFY2(!got.isEmpty() && got.size() <= d.capacity, qPrintable(d.arrayName + u": "_s + show(got)));
        if (c.expect.frame.contains(d.arrayName)) {
            const auto &[head, tail] = c.expect.frame.value(d.arrayName);
            QVERIFY2(got.size() >= head.size() + tail.size(), qPrintable(d.arrayName + u": "_s + show(got)));
            QCOMPARE(got.first(head.size()), head);
            QCOMPARE(got.last(tail.size()), tail);
            continue;
        }
        QList<Entry> expected = c.expect.entries.value(d.arrayName, goodEntries(d.arrayName, 1, 3));
        if (c.expect.entries.contains(d.arrayName) && expected.isEmpty()) {
            expected = { { d.caption, QString() } };
        }
        QVERIFY2(got == expected,
            qPrintable(u"%1\n  loaded:   %2\n  expected: %3"_s.arg(d.arrayName, show(got), show(expected))));
    }

    // Memory.
    QVERIFY2(probe.peakKiB > 0, "no peak memory reported");
    if (kPeakKiB > 0) {
        QVERIFY2(probe.peakKiB < kPeakKiB, qPrintable(u"peak %1 KiB"_s.arg(probe.peakKiB)));
    }
    if (!c.asNobody) {
        QVERIFY2(probe.peakKiB < m_emptyPeakKiB + kGrowthKiB,
            qPrintable(u"peak %1 KiB against %2 KiB on an empty catalogue"_s.arg(probe.peakKiB).arg(m_emptyPeakKiB)));
    }

    // The real program, on the same folder: its window appears, it reports
    // the very same lines, and stays within the same memory.
    if (!c.asNobody) {
        const Run program = runProgram(dir.path());
        QVERIFY2(program.failure.isEmpty(), qPrintable(program.failure));
        QCOMPARE(program.catalogueLines, probe.catalogueLines);
        QVERIFY2(program.peakKiB < m_emptyPeakKiB + kGrowthKiB,
            qPrintable(u"lumora peak %1 KiB against %2 KiB"_s.arg(program.peakKiB).arg(m_emptyPeakKiB)));
    }
    m_summary.append(u"%1 %2 %3"_s.arg(c.name.left(44), -44)
                         .arg(probe.peakKiB / 1024.0, 8, 'f', 1)
                         .arg(probe.catalogueLines.size(), 6));
}

void TestBadListFiles::cleanupTestCase()
{
    // The figures, for whoever reads the log.
    for (const QString &line : std::as_const(m_summary)) {
        qInfo().noquote() << line;
    }
}

QTEST_GUILESS_MAIN(TestBadListFiles)
#include "tst_badlistfiles.moc"
