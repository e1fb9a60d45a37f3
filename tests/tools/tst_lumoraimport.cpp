#include <map>
#include <memory>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTest>

#include "CaptionList.h"
#include "ChannelCatalogue.h"
#include "GbkFiles.h"
#include "GbkText.h"
#include "ListRecord.h"

using namespace Qt::StringLiterals;

namespace {

using Entries = QList<QPair<QString, QString>>; // name, address

// The group as the player loads it from the folder: the menu captions and
// the address slots, item by item.
Entries loadAsPlayer(const QString &folder, const QString &arrayName)
{
    std::map<QString, std::unique_ptr<CaptionList>> menus;
    for (const GroupDefinition &definition : GroupTable::groups()) {
        menus[QString(definition.arrayName)] = std::make_unique<CaptionList>(u"设计标题"_s);
    }
    ChannelCatalogue catalogue([&menus](const QString &name) -> ItemArray * { return menus.at(name).get(); });
    catalogue.setReportSink([](const QString &, QtMsgType, const QString &) {});
    const QString home = QDir::currentPath();
    QDir::setCurrent(folder);
    catalogue.load();
    QDir::setCurrent(home);
    const ChannelGroup &group = catalogue.group(arrayName);
    Entries entries;
    for (int i = 0; i < group.recordCount; ++i) {
        entries.append({group.menuItems->caption(i), group.addressAt(i)});
    }
    return entries;
}

struct Run
{
    int exitCode = -1;
    QString out;
    QString err;
};

Run runImport(const QStringList &arguments, const QByteArray &input = {})
{
    QProcess process;
    process.start(QStringLiteral(LUMORA_IMPORT_PATH), arguments);
    if (!process.waitForStarted(5000)) {
        return {};
    }
    process.write(input);
    process.closeWriteChannel();
    process.waitForFinished(20000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()), QString::fromUtf8(process.readAllStandardError())};
}

QByteArray readBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

Entries numbered(const QString &name, int count, int first = 0)
{
    Entries entries;
    for (int i = first; i < first + count; ++i) {
        entries.append({u"%1%2"_s.arg(name).arg(i), u"http://127.0.0.1:8931/radio/%1.mp3"_s.arg(i)});
    }
    return entries;
}

} // namespace

class TestLumoraImport : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void roundTrip_data();
    void roundTrip();
    void names_data();
    void names();
    void addresses_data();
    void addresses();
    void capacity_data();
    void capacity();
    void appendKeepsWhatIsThere_data();
    void appendKeepsWhatIsThere();
    void dryRunAndStandardInput();
    void refusals_data();
    void refusals();
    void help();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString path(const QString &name) const { return m_dir->filePath(name); }
};

void TestLumoraImport::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

// Import, then load as the player does: the menu shows the names and the
// slots hold the addresses that the playlist gave, in its order.
void TestLumoraImport::roundTrip_data()
{
    QTest::addColumn<QByteArray>("playlist");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QStringList>("extraArguments");
    QTest::addColumn<Entries>("expected");

    const Entries two{{u"中央一台"_s, u"http://h/1.ts"_s}, {u"Radio Two"_s, u"http://h/2.mp3"_s}};
    QTest::newRow("m3u, CR LF") << "#EXTM3U\r\n#EXTINF:-1,中央一台\r\nhttp://h/1.ts\r\n#EXTINF:-1,Radio Two\r\nhttp://h/2.mp3\r\n"_ba
                                << u"a.m3u"_s << QStringList() << two;
    QTest::newRow("m3u, LF, no final line end") << "#EXTM3U\n#EXTINF:-1,中央一台\nhttp://h/1.ts\n#EXTINF:-1,Radio Two\nhttp://h/2.mp3"_ba
                                                << u"a.m3u"_s << QStringList() << two;
    QTest::newRow("m3u, lone CR") << "#EXTM3U\r#EXTINF:-1,中央一台\rhttp://h/1.ts\r#EXTINF:-1,Radio Two\rhttp://h/2.mp3\r"_ba
                                  << u"a.m3u"_s << QStringList() << two;
    QTest::newRow("UTF-8 byte-order mark") << "\xEF\xBB\xBF#EXTM3U\r\n#EXTINF:-1,中央一台\r\nhttp://h/1.ts\r\n#EXTINF:-1,Radio Two\r\nhttp://h/2.mp3\r\n"_ba
                                           << u"a.m3u8"_s << QStringList() << two;
    QTest::newRow("no #EXTM3U, blank lines, comments") << "\r\n# my list\r\n#EXTINF:-1,中央一台\r\n\r\nhttp://h/1.ts\r\n#EXTINF:5,Radio Two\r\n#EXTVLCOPT:network-caching=1000\r\nhttp://h/2.mp3\r\n\r\n"_ba
                                                      << u"a.m3u"_s << QStringList() << two;
    QTest::newRow("GBK playlist") << GbkFiles::toGbk(u"#EXTM3U\r\n#EXTINF:-1,中央一台\r\nhttp://h/1.ts\r\n#EXTINF:-1,Radio Two\r\nhttp://h/2.mp3\r\n"_s)
                                  << u"a.m3u"_s << QStringList() << two;
    QTest::newRow("attributes: tvg-name, group-title with a comma, a title with a comma")
        << "#EXTM3U x-tvg-url=\"http://e/epg.xml.gz\"\r\n"
           "#EXTINF:-1 tvg-id=\"cctv1\" tvg-name=\"CCTV1\" tvg-logo=\"http://l/1.png\" group-title=\"央视,高清\",CCTV-1 综合\r\nhttp://h/1.ts\r\n"
           "#EXTINF:-1 tvg-name=\"只有属性\" group-title=\"Music\",\r\nhttp://h/2.mp3\r\n"
           "#EXTINF:-1 group-title='Music',Radio Paradise, Main Mix\r\nhttp://h/3.mp3\r\n"_ba
        << u"a.m3u"_s << QStringList()
        << Entries{{u"CCTV-1 综合"_s, u"http://h/1.ts"_s}, {u"只有属性"_s, u"http://h/2.mp3"_s},
                   {u"Radio Paradise, Main Mix"_s, u"http://h/3.mp3"_s}};
    QTest::newRow("only group-title Music") << "#EXTM3U\n#EXTINF:-1 group-title=\"News\",A\nhttp://h/a\n#EXTGRP:Music\n#EXTINF:-1,B\nhttp://h/b\n#EXTINF:-1 group-title=\"Music\",C\nhttp://h/c\n"_ba
                                            << u"a.m3u"_s << QStringList{u"--group"_s, u"Music"_s}
                                            << Entries{{u"B"_s, u"http://h/b"_s}, {u"C"_s, u"http://h/c"_s}};
    QTest::newRow("plain address lines, names from the addresses") << "http://h/live/news.mp3\r\nhttp://radio.example:8000/\r\n"_ba
                                                                   << u"a.m3u"_s << QStringList()
                                                                   << Entries{{u"news.mp3"_s, u"http://h/live/news.mp3"_s},
                                                                              {u"radio.example"_s, u"http://radio.example:8000/"_s}};
    QTest::newRow("relative addresses against --base") << "#EXTINF:-1,A\nlive/a.mp3\n#EXTINF:-1,B\n/b.mp3\n#EXTINF:-1,C\n../c.aac\n"_ba
                                                       << u"a.m3u"_s << QStringList{u"--base"_s, u"http://h:8000/lists/x.m3u"_s}
                                                       << Entries{{u"A"_s, u"http://h:8000/lists/live/a.mp3"_s},
                                                                  {u"B"_s, u"/b.mp3"_s},
                                                                  {u"C"_s, u"http://h:8000/c.aac"_s}};
    QTest::newRow("duplicate entries kept once") << "#EXTINF:-1,A\nhttp://h/a\n#EXTINF:-1,A again\nhttp://h/a\n#EXTINF:-1,B\nhttp://h/b\n#EXTINF:-1,A\n  http://h/a  \n"_ba
                                                 << u"a.m3u"_s << QStringList()
                                                 << Entries{{u"A"_s, u"http://h/a"_s}, {u"B"_s, u"http://h/b"_s}};
    QTest::newRow("duplicates kept when asked") << "#EXTINF:-1,A\nhttp://h/a\n#EXTINF:-1,A2\nhttp://h/a\n"_ba << u"a.m3u"_s
                                                << QStringList{u"--keep-duplicates"_s}
                                                << Entries{{u"A"_s, u"http://h/a"_s}, {u"A2"_s, u"http://h/a"_s}};
    QTest::newRow("#EXTINF without an address") << "#EXTINF:-1,lost\n#EXTINF:-1,A\nhttp://h/a\n#EXTINF:-1,end\n"_ba
                                                << u"a.m3u"_s << QStringList() << Entries{{u"A"_s, u"http://h/a"_s}};
    QTest::newRow("address with a comma is quoted") << "#EXTINF:-1,A\nhttp://h/a?x=1,2\n#EXTINF:-1,B\nhttp://h/b\n"_ba
                                                    << u"a.m3u"_s << QStringList()
                                                    << Entries{{u"A"_s, u"http://h/a?x=1,2"_s}, {u"B"_s, u"http://h/b"_s}};
    QTest::newRow("pls with gaps in the numbering")
        << "[playlist]\r\nNumberOfEntries=4\r\nFile1=http://h/1.mp3\r\nTitle1=一台\r\nLength1=-1\r\n"
           "file3 = http://h/3.mp3\r\ntitle3 = 三台\r\nTitle4=no file\r\nFile12=http://h/12.mp3\r\nFile7=http://h/7.mp3\r\nTitle7=七台\r\nVersion=2\r\n"_ba
        << u"a.pls"_s << QStringList()
        << Entries{{u"一台"_s, u"http://h/1.mp3"_s}, {u"三台"_s, u"http://h/3.mp3"_s}, {u"七台"_s, u"http://h/7.mp3"_s},
                   {u"12.mp3"_s, u"http://h/12.mp3"_s}};
    QTest::newRow("pls in another section, upper-case keys")
        << "[other]\nFile1=http://h/not-this\n[PLAYLIST]\nFILE1=http://h/a\nTITLE1=A\n"_ba << u"a.pls"_s << QStringList()
        << Entries{{u"A"_s, u"http://h/a"_s}};
}

void TestLumoraImport::roundTrip()
{
    QFETCH(QByteArray, playlist);
    QFETCH(QString, fileName);
    QFETCH(QStringList, extraArguments);
    QFETCH(Entries, expected);
    QVERIFY(GbkFiles::writeBytes(path(fileName), playlist));

    const Run run = runImport(QStringList{u"-C"_s, m_dir->path(), path(fileName), u"tv.txt"_s} + extraArguments);
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    QCOMPARE(loadAsPlayer(m_dir->path(), u"tvlist"_s), expected);

    // GBK with CR LF, every record on a line of its own, as the bundled files.
    const QByteArray bytes = readBytes(path(u"tv.txt"_s));
    QVERIFY(bytes.endsWith("\r\n"));
    QCOMPARE(bytes.count("\r\n"), qsizetype(expected.size()));
    QCOMPARE(bytes.count('\n'), qsizetype(expected.size()));
    QStringDecoder gbk("GBK");
    const QString text = gbk.decode(bytes);
    QVERIFY(!gbk.hasError());
    QCOMPARE(text.count(u'"'), 2 * qsizetype(std::count_if(expected.cbegin(), expected.cend(), [](const auto &e) {
                                                return e.first.contains(u',') || e.second.contains(u',');
                                            })));
}

void TestLumoraImport::names_data()
{
    QTest::addColumn<QString>("raw");
    QTest::addColumn<QString>("replacement");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<bool>("transliterated");
    QTest::addColumn<bool>("replaced");

    const QString box = QString(QChar(GbkText::kDefaultReplacement));
    QTest::newRow("Chinese, Latin and digits stay") << u"中国之声 FM 106.1"_s << box << u"中国之声 FM 106.1"_s << false << false;
    QTest::newRow("Cyrillic, Greek, kana and pinyin stay") << u"Радио ΕΛΛΑΔΑ ラジオ nǚ"_s << box << u"Радио ΕΛΛΑΔΑ ラジオ nǚ"_s << false << false;
    QTest::newRow("edges trimmed, controls as blanks") << u"  A\tB  "_s << box << u"A B"_s << false << false;
    QTest::newRow("bar") << u"A|B"_s << box << u"A｜B"_s << false << false;
    QTest::newRow("double quotes") << u"12\" Vinyl \"Hits\""_s << box << u"12＂ Vinyl ＂Hits＂"_s << false << false;
    QTest::newRow("emoji, one mark each") << u"📻 Radio 🎵"_s << box << u"□ Radio □"_s << false << true;
    QTest::newRow("flag and joined family are one mark each") << u"🇨🇳👨‍👩‍👧 TV"_s << box << u"□□ TV"_s << false << true;
    QTest::newRow("emoji with variation selector") << u"❤️ Love"_s << box << u"□ Love"_s << false << true;
    QTest::newRow("emoji dropped") << u"📻 Radio"_s << QString() << u"Radio"_s << false << true;
    QTest::newRow("Korean") << u"한국 FM"_s << box << u"hangug FM"_s << true << false;
    QTest::newRow("Arabic") << u"راديو"_s << box << u"radyw"_s << true << false;
    QTest::newRow("Thai") << u"วิทยุ"_s << box << u"withyu"_s << true << false;
    QTest::newRow("accented Latin GBK lacks") << u"Ñandú Çalışkan"_s << box << u"Nandú Caliskan"_s << true << false;
    QTest::newRow("accented Greek GBK lacks") << u"Ελλάδα"_s << box << u"Ελλαδα"_s << true << false;
    QTest::newRow("mathematical bold letters") << u"𝐁𝐨𝐥𝐝 FM"_s << box << u"Bold FM"_s << true << false;
    QTest::newRow("both at once") << u"한 📻"_s << u"?"_s << u"han ?"_s << true << true;
}

void TestLumoraImport::names()
{
    QFETCH(QString, raw);
    QFETCH(QString, replacement);
    QFETCH(QString, expected);
    QFETCH(bool, transliterated);
    QFETCH(bool, replaced);
    const GbkText::Name name = GbkText::name(raw, replacement);
    QCOMPARE(name.text, expected);
    QCOMPARE(name.transliterated, transliterated);
    QCOMPARE(name.replaced, replaced);
    QCOMPARE(name.bar, raw.contains(u'|'));
    QCOMPARE(name.quote, raw.contains(u'"'));
    QVERIFY(GbkText::holds(name.text));
}

void TestLumoraImport::addresses_data()
{
    QTest::addColumn<QString>("raw");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<bool>("writable");
    QTest::addColumn<QString>("record");

    QTest::newRow("plain") << u"http://h/a.mp3"_s << u"http://h/a.mp3"_s << true << u"|N|http://h/a.mp3"_s;
    QTest::newRow("comma quotes the record") << u"http://h/a?x=1,2"_s << u"http://h/a?x=1,2"_s << true
                                             << u"\"|N|http://h/a?x=1,2\""_s;
    QTest::newRow("bar and quote percent-encoded") << u"http://h/a|b\"c"_s << u"http://h/a%7Cb%22c"_s << true
                                                   << u"|N|http://h/a%7Cb%22c"_s;
    QTest::newRow("Chinese stays, emoji encoded") << u"http://h/电台/📻"_s << u"http://h/电台/%F0%9F%93%BB"_s << true
                                                  << u"|N|http://h/电台/%F0%9F%93%BB"_s;
    QTest::newRow("blanks at the edges go") << u"  http://h/a  "_s << u"http://h/a"_s << true << u"|N|http://h/a"_s;
    QTest::newRow("path with a bar cannot be written") << u"/music/a|b.mp3"_s << QString() << false << QString();
    QTest::newRow("path with an emoji cannot be written") << u"/music/📻.mp3"_s << QString() << false << QString();
}

void TestLumoraImport::addresses()
{
    QFETCH(QString, raw);
    QFETCH(QString, expected);
    QFETCH(bool, writable);
    QFETCH(QString, record);
    const ListRecord::Address address = ListRecord::address(raw);
    QCOMPARE(address.problem.isEmpty(), writable);
    if (!writable) {
        return;
    }
    QCOMPARE(address.text, expected);
    QCOMPARE(ListRecord::record(u"N"_s, address.text), record);
    // And the player reads back what was meant.
    QVERIFY(GbkFiles::writeBytes(path(u"xs.txt"_s), ListRecord::encode({record})));
    QCOMPARE(loadAsPlayer(m_dir->path(), u"xslist"_s), (Entries{{u"N"_s, expected}}));
}

void TestLumoraImport::capacity_data()
{
    QTest::addColumn<int>("existing");
    QTest::addColumn<int>("imported");
    QTest::addColumn<bool>("replace");
    QTest::addColumn<int>("written");

    QTest::newRow("room for all") << 40 << 11 << false << 11;
    QTest::newRow("room for some") << 45 << 10 << false << 6;
    QTest::newRow("full already") << 51 << 3 << false << 0;
    QTest::newRow("more than the capacity in the file") << 60 << 3 << false << 0;
    QTest::newRow("replace, more than the capacity") << 20 << 60 << true << 51;
}

void TestLumoraImport::capacity()
{
    QFETCH(int, existing);
    QFETCH(int, imported);
    QFETCH(bool, replace);
    QFETCH(int, written);
    QStringList records;
    for (const auto &[name, address] : numbered(u"旧台"_s, existing)) {
        records.append(u"|%1|%2"_s.arg(name, address));
    }
    QVERIFY(GbkFiles::writeLines(path(u"tv.txt"_s), records));
    QByteArray playlist = "#EXTM3U\r\n";
    for (const auto &[name, address] : numbered(u"新台"_s, imported, 1000)) {
        playlist += u"#EXTINF:-1,%1\r\n%2\r\n"_s.arg(name, address).toUtf8();
    }
    QVERIFY(GbkFiles::writeBytes(path(u"new.m3u"_s), playlist));

    QStringList arguments{u"-C"_s, m_dir->path(), path(u"new.m3u"_s), u"tvlist"_s};
    if (replace) {
        arguments.append(u"--replace"_s);
    }
    const Run run = runImport(arguments);
    const int leftOut = imported - written;
    QCOMPARE(run.exitCode, leftOut > 0 ? 1 : 0);
    if (leftOut > 0) {
        QVERIFY2(run.err.contains(u"%1 条超出容量，没有写入（从第 %2 个条目起）"_s.arg(leftOut).arg(written + 1)),
                 qPrintable(run.err));
    }
    const Entries loaded = loadAsPlayer(m_dir->path(), u"tvlist"_s);
    const Entries expected = (replace ? Entries() : numbered(u"旧台"_s, std::min(existing, 51)))
                             + numbered(u"新台"_s, written, 1000);
    QCOMPARE(loaded, expected);
}

void TestLumoraImport::appendKeepsWhatIsThere_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("separator"); // what goes between the old bytes and the new record

    QTest::newRow("CR LF at the end") << GbkFiles::crlfLines({u"|旧台|http://h/old"_s}) << QByteArray();
    QTest::newRow("no line end at the end") << GbkFiles::toGbk(u"|旧台|http://h/old"_s) << "\r\n"_ba;
    QTest::newRow("LF line ends") << GbkFiles::toGbk(u"|旧台|http://h/old\n"_s) << QByteArray();
    QTest::newRow("UTF-8 with a byte-order mark") << "\xEF\xBB\xBF|旧台|http://h/old\r\n"_ba << QByteArray();
}

void TestLumoraImport::appendKeepsWhatIsThere()
{
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, separator);
    QVERIFY(GbkFiles::writeBytes(path(u"gb/ah.txt"_s), before));
    const QByteArray playlist = "#EXTINF:-1,新台\nhttp://h/new\n#EXTINF:-1,旧台又一次\nhttp://h/old\n"_ba;
    QVERIFY(GbkFiles::writeBytes(path(u"a.m3u"_s), playlist));

    const Run run = runImport({u"-C"_s, m_dir->path(), path(u"a.m3u"_s), u"gb/ah.txt"_s});
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    QVERIFY2(run.err.contains(u"“旧台又一次”的地址已在列表中，已跳过"_s), qPrintable(run.err));
    const bool utf8 = before.startsWith("\xEF\xBB\xBF");
    const QByteArray added = utf8 ? "|新台|http://h/new\r\n"_ba : GbkFiles::crlfLines({u"|新台|http://h/new"_s});
    QCOMPARE(readBytes(path(u"gb/ah.txt"_s)), before + separator + added);
    QCOMPARE(loadAsPlayer(m_dir->path(), u"ah"_s),
             (Entries{{u"旧台"_s, u"http://h/old"_s}, {u"新台"_s, u"http://h/new"_s}}));
}

void TestLumoraImport::dryRunAndStandardInput()
{
    const QByteArray playlist = "#EXTINF:-1,A, B\nhttp://h/a\n#EXTINF:-1,rel\nlive/x.mp3\n"_ba;
    // Standard input has no folder to resolve against: the relative entry is said and left out.
    Run run = runImport({u"-C"_s, m_dir->path(), u"--dry-run"_s, u"-"_s, u"xs.txt"_s}, playlist);
    QCOMPARE(run.exitCode, 1);
    QCOMPARE(run.out, u"\"|A, B|http://h/a\"\n"_s);
    QVERIFY2(run.err.contains(u"“live/x.mp3”是相对地址"_s), qPrintable(run.err));
    QVERIFY(!QFile::exists(path(u"xs.txt"_s)));

    run = runImport({u"-C"_s, m_dir->path(), u"--base"_s, u"http://h/list/"_s, u"-"_s, u"xs.txt"_s}, playlist);
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out, QString());
    QCOMPARE(loadAsPlayer(m_dir->path(), u"xslist"_s),
             (Entries{{u"A, B"_s, u"http://h/a"_s}, {u"rel"_s, u"http://h/list/live/x.mp3"_s}}));
}

void TestLumoraImport::refusals_data()
{
    QTest::addColumn<QByteArray>("playlist");
    QTest::addColumn<QString>("listFile");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("said");

    QTest::newRow("HLS stream playlist") << "#EXTM3U\n#EXT-X-TARGETDURATION:10\n#EXTINF:10,\nseg1.ts\n"_ba << u"tv.txt"_s << 2
                                         << u"HLS"_s;
    QTest::newRow("HTML page") << "<!DOCTYPE html><html><body>x</body></html>"_ba << u"tv.txt"_s << 2 << u"不是 M3U 或 PLS"_s;
    QTest::newRow("no address at all") << "#EXTM3U\n#EXTINF:-1,nothing\n"_ba << u"tv.txt"_s << 2 << u"没有找到任何地址"_s;
    QTest::newRow("not one of the seventeen") << "http://h/a\n"_ba << u"gb/bj.txt"_s << 2 << u"gb/ah.txt"_s;
    QTest::newRow("addresses the player refuses") << "lavfi://sine\nhttp://h/a\n"_ba << u"tv.txt"_s << 1
                                                   << u"不支持的地址类型(lavfi:)"_s;
}

void TestLumoraImport::refusals()
{
    QFETCH(QByteArray, playlist);
    QFETCH(QString, listFile);
    QFETCH(int, exitCode);
    QFETCH(QString, said);
    const Run run = runImport({u"-C"_s, m_dir->path(), u"-"_s, listFile}, playlist);
    QCOMPARE(run.exitCode, exitCode);
    QVERIFY2(run.err.contains(said), qPrintable(run.err));
    QCOMPARE(QFile::exists(path(u"tv.txt"_s)), exitCode == 1);
}

void TestLumoraImport::help()
{
    const Run run = runImport({u"--help"_s});
    QCOMPARE(run.exitCode, 0);
    for (const QString &piece : {u"用法：lumora-import"_s, u"Usage: lumora-import"_s, u"--dry-run"_s, u"退出状态"_s,
                                u"Exit status"_s}) {
        QVERIFY2(run.out.contains(piece), qPrintable(piece));
    }
    QCOMPARE(runImport({u"--no-such-option"_s}).exitCode, 2);
    QCOMPARE(runImport({u"only-one-argument"_s}).exitCode, 2);
}

QTEST_GUILESS_MAIN(TestLumoraImport)
#include "tst_lumoraimport.moc"
