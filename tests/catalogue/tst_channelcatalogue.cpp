#include <map>
#include <memory>

#include <QDir>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include "CaptionList.h"
#include "ChannelCatalogue.h"
#include "GbkFiles.h"

using namespace Qt::StringLiterals;

namespace {

struct DesignGroup
{
    QString listFile;
    QString arrayName;
    QString caption;
    int capacity;
};

// The groups as the design fixes them, in load order.
const QList<DesignGroup> kDesign = {
    {u"gb/ah.txt"_s, u"ah"_s, u"安徽"_s, 31},
    {u"gb/gd.txt"_s, u"gd"_s, u"广东"_s, 21},
    {u"gb/gx.txt"_s, u"gx"_s, u"广西"_s, 11},
    {u"gb/hb.txt"_s, u"hb"_s, u"河北"_s, 31},
    {u"gb/hlj.txt"_s, u"hlj"_s, u"黑龙江"_s, 11},
    {u"gb/hubei.txt"_s, u"hubei"_s, u"湖北"_s, 21},
    {u"gb/hn.txt"_s, u"hn"_s, u"河南"_s, 31},
    {u"gb/jx.txt"_s, u"jx"_s, u"江西"_s, 31},
    {u"gb/js.txt"_s, u"js"_s, u"江苏"_s, 31},
    {u"gb/ln.txt"_s, u"ln"_s, u"辽宁"_s, 21},
    {u"gb/sc.txt"_s, u"sc"_s, u"四川"_s, 41},
    {u"gb/sd.txt"_s, u"sd"_s, u"山东"_s, 41},
    {u"gb/cri.txt"_s, u"cri"_s, u"中国国际广播电台"_s, 11},
    {u"gb/cnr.txt"_s, u"cnr"_s, u"中央人民广播电台"_s, 11},
    {u"gb.txt"_s, u"gblist"_s, u"广播列表"_s, 301},
    {u"tv.txt"_s, u"tvlist"_s, u"电视列表"_s, 51},
    {u"xs.txt"_s, u"xslist"_s, u"相声列表"_s, 101},
};

struct Menus
{
    std::map<QString, std::unique_ptr<CaptionList>> arrays;

    Menus()
    {
        for (const DesignGroup &group : kDesign) {
            arrays[group.arrayName] = std::make_unique<CaptionList>(group.caption);
        }
    }
    ChannelCatalogue::ItemArrayLookup lookup()
    {
        return [this](const QString &name) -> ItemArray * {
            auto found = arrays.find(name);
            return found == arrays.end() ? nullptr : found->second.get();
        };
    }
};

struct Message
{
    QtMsgType type;
    QString text;
};

QList<Message> *g_messages = nullptr;

void captureMessage(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (g_messages && QLatin1StringView(context.category) == "lumora.catalogue"_L1) {
        g_messages->append({type, text});
    }
}

// Catches lumora.catalogue while it lives.
struct MessageCapture
{
    QList<Message> messages;
    QtMessageHandler previous;
    MessageCapture()
    {
        g_messages = &messages;
        previous = qInstallMessageHandler(captureMessage);
    }
    ~MessageCapture()
    {
        qInstallMessageHandler(previous);
        g_messages = nullptr;
    }
    QStringList texts() const
    {
        QStringList list;
        for (const Message &message : messages) {
            list.append(message.text);
        }
        return list;
    }
};

QString nameOf(const DesignGroup &group, int i, int distinctNames)
{
    return u"%1台%2"_s.arg(group.caption).arg(i % distinctNames);
}

QString addressOf(const DesignGroup &group, int i)
{
    return u"http://127.0.0.1:8931/%1/%2"_s.arg(group.arrayName).arg(i);
}

// The lists to be read from the working directory (other folders than the
// standard ones break no rule, so every list file goes the same way).
void writeCatalogue(int records, int distinctNames)
{
    for (const DesignGroup &group : kDesign) {
        QStringList lines;
        const int n = records < 0 ? group.capacity : std::min(records, group.capacity);
        for (int i = 0; i < n; ++i) {
            lines.append(u"|%1|%2"_s.arg(nameOf(group, i, distinctNames), addressOf(group, i)));
        }
        QVERIFY(GbkFiles::writeLines(group.listFile, lines));
    }
}

} // namespace

class TestChannelCatalogue : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void definitions();
    void load_data();
    void load();
    void problems_data();
    void problems();
    void filesOpenOneAtATimeInOrder();
    void bundledCatalogue();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_home;
};

void TestChannelCatalogue::init()
{
    m_home = QDir::currentPath();
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    QVERIFY(QDir::setCurrent(m_dir->path()));
}

void TestChannelCatalogue::cleanup()
{
    QDir::setCurrent(m_home);
    m_dir.reset();
}

void TestChannelCatalogue::definitions()
{
    const GroupTable::Table &table = GroupTable::groups();
    QCOMPARE(qsizetype(table.size()), kDesign.size());
    for (qsizetype i = 0; i < kDesign.size(); ++i) {
        QCOMPARE(QString(table[size_t(i)].listFile), kDesign[i].listFile);
        QCOMPARE(QString(table[size_t(i)].arrayName), kDesign[i].arrayName);
        QCOMPARE(table[size_t(i)].capacity, kDesign[i].capacity);
        QCOMPARE(table[size_t(i)].designCaption.toString(), kDesign[i].caption);
    }
}

void TestChannelCatalogue::load_data()
{
    QTest::addColumn<int>("records"); // per file, -1 for the group's capacity
    QTest::addColumn<int>("distinctNames");

    QTest::addRow("empty files") << 0 << 1;
    QTest::addRow("one record") << 1 << 1;
    QTest::addRow("repeated names in file order") << 7 << 3;
    QTest::addRow("every slot filled") << -1 << 1000;
}

void TestChannelCatalogue::load()
{
    QFETCH(int, records);
    QFETCH(int, distinctNames);
    writeCatalogue(records, distinctNames);

    Menus menus;
    ChannelCatalogue catalogue(menus.lookup());
    MessageCapture capture;
    catalogue.load();
    QCOMPARE(capture.texts(), QStringList());

    for (const DesignGroup &design : kDesign) {
        const ChannelGroup &group = catalogue.group(design.arrayName);
        const CaptionList &menu = *menus.arrays[design.arrayName];
        const int n = records < 0 ? design.capacity : std::min(records, design.capacity);
        QCOMPARE(group.recordCount, n);
        QCOMPARE(menu.count(), std::max(n, 1));
        if (n == 0) {
            QCOMPARE(menu.caption(0), design.caption);
        }
        for (int i = 0; i < n; ++i) {
            QCOMPARE(menu.caption(i), nameOf(design, i, distinctNames));
            QCOMPARE(group.addressAt(i), addressOf(design, i));
        }
        for (int i = n; i < design.capacity; ++i) {
            QCOMPARE(group.addressAt(i), QString());
        }
        QCOMPARE(group.addressAt(-1), QString());
        QCOMPARE(group.addressAt(design.capacity), QString());
    }
}

void TestChannelCatalogue::problems_data()
{
    QTest::addColumn<QByteArray>("ahBytes"); // null: no file at all
    QTest::addColumn<bool>("ahIsFolder");
    QTest::addColumn<QStringList>("captions");
    QTest::addColumn<QStringList>("addresses");
    QTest::addColumn<QStringList>("reported"); // one fragment per line

    auto lines = [](int from, int to) {
        QStringList list;
        for (int i = from; i <= to; ++i) {
            list.append(u"|台%1|http://127.0.0.1:8931/radio/%1"_s.arg(i));
        }
        return list;
    };
    QStringList captions31, addresses31;
    for (int i = 1; i <= 31; ++i) {
        captions31.append(u"台%1"_s.arg(i));
        addresses31.append(u"http://127.0.0.1:8931/radio/%1"_s.arg(i));
    }

    QTest::addRow("missing file") << QByteArray() << false << QStringList{u"安徽"_s} << QStringList{QString()}
                                  << QStringList{u"无法读取（文件不存在）"_s};
    QTest::addRow("folder in its place") << QByteArray() << true << QStringList{u"安徽"_s} << QStringList{QString()}
                                         << QStringList{u"文件夹"_s};
    QTest::addRow("short records skipped")
        << GbkFiles::crlfLines({u"|a|1"_s, u"b|2"_s, u"|c|3"_s, u""_s, u"d"_s}) << false << QStringList{u"a"_s, u"c"_s}
        << QStringList{u"1"_s, u"3"_s}
        << QStringList{u"第 2 条记录（第 2 行）只有 2 个字段"_s, u"第 4 条记录（第 5 行）只有 1 个字段"_s};
    QTest::addRow("one record beyond the capacity")
        << GbkFiles::crlfLines(lines(1, 32)) << false << captions31 << addresses31
        << QStringList{u"超出本组容量 31：从第 32 条记录起的 1 条记录未载入"_s};
    QTest::addRow("invalid bytes") << "|a\xFF|1\r\n|b|\xB0\r\n|c|3"_ba << false
                                   << QStringList{u"a\uFFFD"_s, u"b"_s, u"c"_s}
                                   << QStringList{u"1"_s, u"\uFFFD"_s, u"3"_s}
                                   << QStringList{u"有 2 处不是有效的 GBK 编码"_s + u"，已显示为“\uFFFD”（第一处在第 1 条记录）"_s};
    QTest::addRow("unclosed quote costs no later record")
        << "|a|1\r\n\"|b|2\r\n|c|3"_ba << false << QStringList{u"a"_s, u"b"_s, u"c"_s}
        << QStringList{u"1"_s, u"2"_s, u"3"_s}
        << QStringList{u"第 2 条记录（第 2 行）的双引号没有闭合，已当作普通字符读到下一个分隔符"_s};
    QTest::addRow("UTF-8 with BOM noted once") << "\xEF\xBB\xBF" + u"|安徽台|1\r\n|合肥台|2"_s.toUtf8() << false
                                               << QStringList{u"安徽台"_s, u"合肥台"_s} << QStringList{u"1"_s, u"2"_s}
                                               << QStringList{u"按 UTF-8 解码"_s};
    QStringList flood(10, u"只有 1 个字段"_s);
    flood.append(u"还有 99990 个问题没有逐条列出"_s);
    QTest::addRow("100000 empty records") << QByteArray(100000, ',') << false << QStringList{u"安徽"_s}
                                          << QStringList{QString()} << flood;
    QTest::addRow("short records beyond the capacity, then damage")
        << GbkFiles::crlfLines(lines(1, 31)) + QByteArray(50, ',') + "\xFF" << false << captions31 << addresses31
        << QStringList{u"从第 32 条记录起的 51 条记录未载入"_s, u"有 1 处不是有效的 GBK 编码"_s};
}

void TestChannelCatalogue::problems()
{
    QFETCH(QByteArray, ahBytes);
    QFETCH(bool, ahIsFolder);
    QFETCH(QStringList, captions);
    QFETCH(QStringList, addresses);
    QFETCH(QStringList, reported);

    // Every other group has one good record, to show that loading goes on.
    for (const DesignGroup &group : kDesign) {
        QVERIFY(GbkFiles::writeLines(group.listFile, {u"|%1台|http://h/%2"_s.arg(group.caption, group.arrayName)}));
    }
    QVERIFY(QFile::remove(u"gb/ah.txt"_s));
    if (ahIsFolder) {
        QVERIFY(QDir().mkpath(u"gb/ah.txt"_s));
    } else if (!ahBytes.isNull()) {
        QVERIFY(GbkFiles::writeBytes(u"gb/ah.txt"_s, ahBytes));
    }

    Menus menus;
    ChannelCatalogue catalogue(menus.lookup());
    MessageCapture capture;
    catalogue.load();

    const QStringList texts = capture.texts();
    QCOMPARE(texts.size(), reported.size());
    for (qsizetype i = 0; i < texts.size(); ++i) {
        QVERIFY2(texts[i].contains(u"列表文件 \"gb/ah.txt\" "_s) && texts[i].contains(reported[i]), qPrintable(texts[i]));
    }
    QCOMPARE(menus.arrays[u"ah"_s]->captions(), captions);
    const ChannelGroup &ah = catalogue.group(u"ah"_s);
    for (int i = 0; i < ah.capacity; ++i) {
        QCOMPARE(ah.addressAt(i), addresses.value(i));
    }
    for (const DesignGroup &design : kDesign.mid(1)) {
        QCOMPARE(menus.arrays[design.arrayName]->captions(), QStringList{design.caption + u"台"_s});
        QCOMPARE(catalogue.group(design.arrayName).addressAt(0), u"http://h/"_s + design.arrayName);
    }
}

void TestChannelCatalogue::filesOpenOneAtATimeInOrder()
{
    writeCatalogue(2, 2);
    QVERIFY(QFile::remove(u"gb/gx.txt"_s)); // a missing file is never opened

    QStringList events;
    QStringList expected;
    for (const DesignGroup &group : kDesign) {
        if (group.arrayName != u"gx"_s) {
            expected << u"+"_s + group.listFile << u"-"_s + group.listFile;
        }
    }
    Menus menus;
    ChannelCatalogue catalogue(menus.lookup(), [&](const QString &file, ListFileReader::FileEvent event) {
        events.append((event == ListFileReader::FileEvent::Opened ? u"+"_s : u"-"_s) + file);
    });
    MessageCapture capture;
    catalogue.load();

    QCOMPARE(events, expected);
}

void TestChannelCatalogue::bundledCatalogue()
{
    QVERIFY(QDir::setCurrent(QStringLiteral(LUMORA_DATA_DIR)));
    Menus menus;
    ChannelCatalogue catalogue(menus.lookup());
    MessageCapture capture;
    catalogue.load();
    QCOMPARE(capture.texts(), QStringList());

    const QString server = u"http://127.0.0.1:8931/"_s;
    QSet<QString> radio = {u"radio/aac"_s,          u"radio/ogg"_s,          u"radio/opus"_s,
                           u"radio/wma"_s,          u"hls/radio.m3u8"_s,     u"playlist/radio.pls"_s,
                           u"playlist/radio.asx"_s, u"playlist/radio.m3u"_s, u"radio/1.mp3?a=1,2"_s,
                           u"radio/gbk.mp3"_s};
    for (int i = 1; i <= 8; ++i) {
        radio.insert(u"radio/%1.mp3"_s.arg(i));
    }
    const QSet<QString> tv = {u"tv/1.ts"_s, u"tv/2.ts"_s, u"tv/3.ts"_s, u"hls/tv.m3u8"_s};
    const QSet<QString> xs = {u"xs/1.mp3"_s, u"xs/2.mp3"_s, u"xs/3.mp3"_s, u"xs/4.mp3"_s};
    bool quotedCommaSeen = false;
    for (const ChannelGroup &group : catalogue.groups()) {
        const QSet<QString> &allowed = group.arrayName == u"tvlist"_s   ? tv
                                       : group.arrayName == u"xslist"_s ? xs
                                                                       : radio;
        const CaptionList &menu = *menus.arrays[group.arrayName];
        QVERIFY2(group.recordCount >= 3, qPrintable(group.listFile));
        QCOMPARE(menu.count(), group.recordCount);
        for (int i = 0; i < group.recordCount; ++i) {
            const QString address = group.addressAt(i);
            QVERIFY2(!menu.caption(i).isEmpty(), qPrintable(address));
            QVERIFY2(address.startsWith(server) && allowed.contains(address.mid(server.size())),
                     qPrintable(group.listFile + u": "_s + address));
            quotedCommaSeen = quotedCommaSeen || address.contains(u',');
        }
    }
    QVERIFY(quotedCommaSeen);
}

QTEST_GUILESS_MAIN(TestChannelCatalogue)
#include "tst_channelcatalogue.moc"
