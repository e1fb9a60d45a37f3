#include <algorithm>
#include <memory>

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include "ChannelCatalogue.h"
#include "DemoServerProcess.h"
#include "GbkFiles.h"
#include "IcecastProcess.h"

using namespace Qt::StringLiterals;

using Records = QMap<QString, QStringList>; // list file → its records

namespace {

struct Run
{
    int exitCode = -1;
    QByteArray out;
    QString err;
    QJsonObject json() const { return QJsonDocument::fromJson(out).object(); }
};

// Runs lumora-check while this test's event loop goes on, so that servers in
// this process answer meanwhile.
Run runCheck(const QStringList &arguments, int timeoutMs = 30000)
{
    QProcess process;
    process.start(QStringLiteral(LUMORA_CHECK_PATH), arguments);
    if (!process.waitForStarted(5000)) {
        return {};
    }
    QElapsedTimer clock;
    clock.start();
    while (process.state() != QProcess::NotRunning && clock.elapsed() < timeoutMs) {
        QTest::qWait(20);
    }
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished();
        return {};
    }
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, process.readAllStandardOutput(),
            QString::fromUtf8(process.readAllStandardError())};
}

// Seventeen list files, all empty but those given.
void writeCatalogue(const QString &folder, const Records &records)
{
    for (const GroupDefinition &definition : GroupTable::groups()) {
        const QString file(definition.listFile);
        QVERIFY(GbkFiles::writeLines(folder + u'/' + file, records.value(file)));
    }
}

QJsonObject fileIn(const QJsonObject &report, const QString &listFile)
{
    for (const QJsonValue &file : report.value(u"files"_s).toArray()) {
        if (file[u"file"_s].toString() == listFile) {
            return file.toObject();
        }
    }
    return {};
}

QByteArray fingerprint(const QString &folder)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    for (const GroupDefinition &definition : GroupTable::groups()) {
        QFile file(folder + u'/' + QString(definition.listFile));
        if (file.open(QIODevice::ReadOnly)) {
            hash.addData(file.readAll());
        }
        hash.addData(QFileInfo(file).lastModified().toString(Qt::ISODateWithMs).toUtf8());
    }
    return hash.result();
}

// A server that accepts and never says a word, and notes when each
// connection came.
class SilentServer : public QTcpServer
{
public:
    SilentServer()
    {
        listen(QHostAddress::LocalHost, 0);
        m_clock.start();
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = nextPendingConnection()) {
                m_accepted.append(m_clock.elapsed());
                socket->setParent(this);
            }
        });
    }
    QList<qint64> accepted() const { return m_accepted; }

private:
    QElapsedTimer m_clock;
    QList<qint64> m_accepted;
};

} // namespace

class TestLumoraCheck : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void stations_data();
    void stations();
    void reportShape();
    void exitStatus_data();
    void exitStatus();
    void parallelismBound_data();
    void parallelismBound();
    void help();

private:
    QString url(const QString &path) const { return m_server.url(path); }
    // One check of a catalogue with every kind of entry, made once and read by several tests.
    const Run &mixedCatalogue();

    DemoServerProcess m_server;
    // Live stations from a real Icecast server, as most internet radio is served.
    IcecastProcess m_icecast;
    QTemporaryDir m_mixedDir;
    std::unique_ptr<Run> m_mixed;
    QByteArray m_mixedBefore;
    quint16 m_closedPort = 0;
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestLumoraCheck::initTestCase()
{
    QVERIFY2(m_server.start(), qPrintable(m_server.errorString()));
    QVERIFY2(m_icecast.start(), qPrintable(m_icecast.errorString()));
    m_closedPort = DemoServerProcess::closedPort();
}

void TestLumoraCheck::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

const Run &TestLumoraCheck::mixedCatalogue()
{
    if (!m_mixed) {
        writeCatalogue(m_mixedDir.path(),
            {
                { u"gb/ah.txt"_s,
                    { u"|MP3 电台|%1"_s.arg(url(u"/radio/1.mp3"_s)), u"|AAC 电台|%1"_s.arg(url(u"/radio/aac"_s)),
                        u"|只有两个字段"_s, u"|HLS 电台|%1"_s.arg(url(u"/hls/radio.m3u8"_s)) } },
                { u"gb/gd.txt"_s,
                    { u"|PLS|%1"_s.arg(url(u"/playlist/radio.pls"_s)), u"|ASX|%1"_s.arg(url(u"/playlist/radio.asx"_s)),
                        u"|M3U|%1"_s.arg(url(u"/playlist/radio.m3u"_s)) } },
                { u"gb/hb.txt"_s,
                    { u"|Icecast MP3|%1"_s.arg(m_icecast.url(u"/live.mp3"_s)),
                        u"|Icecast Ogg|%1"_s.arg(m_icecast.url(u"/live.ogg"_s)) } },
                { u"tv.txt"_s,
                    { u"|404|%1"_s.arg(url(u"/fail/404"_s)), u"|500|%1"_s.arg(url(u"/fail/500"_s)),
                        u"|拒绝连接|http://127.0.0.1:%1/radio/1.mp3"_s.arg(m_closedPort),
                        u"|不回答|%1"_s.arg(url(u"/fail/hang"_s)), u"|伪地址|lavfi://sine"_s, u"|没有地址||"_s,
                        // The same address again is tried once and reported twice.
                        u"|MP3 又一次|%1"_s.arg(url(u"/radio/1.mp3"_s)) } },
            });
        m_mixedBefore = fingerprint(m_mixedDir.path());
        // The Icecast sources run only for this check, so that their encoders
        // do not load the machine during the others. Should one not come up,
        // its entry fails with the reason and the log is here.
        const bool live = m_icecast.startSource(u"/live.mp3"_s, IcecastProcess::Codec::Mp3, u"演示电台 1 - 第 1 首"_s)
            && m_icecast.startSource(u"/live.ogg"_s, IcecastProcess::Codec::Vorbis, u"演示电台 Vorbis"_s);
        if (!live)
            qWarning().noquote() << "Icecast sources:" << m_icecast.errorString();
        m_mixed = std::make_unique<Run>(
            runCheck({u"--json"_s, u"--progress"_s, u"-j"_s, u"6"_s, u"-t"_s, u"3"_s, m_mixedDir.path()}));
        m_icecast.stopSource(u"/live.mp3"_s);
        m_icecast.stopSource(u"/live.ogg"_s);
    }
    return *m_mixed;
}

void TestLumoraCheck::stations_data()
{
    QTest::addColumn<QString>("listFile");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("kind"); // empty: plays
    QTest::addColumn<QString>("detail"); // codec when it plays, start of the reason when not

    QTest::newRow("live MP3 with ICY titles") << u"gb/ah.txt"_s << 0 << QString() << u"mp3"_s;
    QTest::newRow("Icecast MP3 with ICY titles") << u"gb/hb.txt"_s << 0 << QString() << u"mp3"_s;
    QTest::newRow("Icecast Ogg Vorbis") << u"gb/hb.txt"_s << 1 << QString() << u"vorbis"_s;
    QTest::newRow("live AAC") << u"gb/ah.txt"_s << 1 << QString() << u"aac"_s;
    QTest::newRow("HLS") << u"gb/ah.txt"_s << 2 << QString() << u"aac"_s;
    QTest::newRow("PLS playlist") << u"gb/gd.txt"_s << 0 << QString() << u"mp3"_s;
    QTest::newRow("ASX playlist") << u"gb/gd.txt"_s << 1 << QString() << u"mp3"_s;
    QTest::newRow("M3U playlist") << u"gb/gd.txt"_s << 2 << QString() << u"mp3"_s;
    QTest::newRow("not found") << u"tv.txt"_s << 0 << u"not-found"_s << u"未找到(404)"_s;
    QTest::newRow("server error") << u"tv.txt"_s << 1 << u"server-error"_s << u"服务器错误(500)"_s;
    QTest::newRow("connection refused") << u"tv.txt"_s << 2 << u"connection-refused"_s << u"连接被拒绝"_s;
    QTest::newRow("timed out") << u"tv.txt"_s << 3 << u"timeout"_s << u"超时：3 秒内没有开始播放"_s;
    QTest::newRow("refused address") << u"tv.txt"_s << 4 << u"refused-address"_s << u"不支持的地址类型(lavfi:)"_s;
    QTest::newRow("empty address") << u"tv.txt"_s << 5 << u"no-address"_s << u"没有地址"_s;
    QTest::newRow("same address again") << u"tv.txt"_s << 6 << QString() << u"mp3"_s;
}

void TestLumoraCheck::stations()
{
    QFETCH(QString, listFile);
    QFETCH(int, index);
    QFETCH(QString, kind);
    QFETCH(QString, detail);
    const Run &run = mixedCatalogue();
    QCOMPARE(run.exitCode, 1);
    const QJsonObject entry = fileIn(run.json(), listFile)[u"entries"_s].toArray().at(index).toObject();
    QVERIFY2(!entry.isEmpty(), run.out.constData());
    QCOMPARE(entry[u"plays"_s].toBool(), kind.isEmpty());
    QVERIFY(entry[u"elapsedMs"_s].toInteger() <= 3000 + 500);
    if (kind.isEmpty()) {
        QCOMPARE(entry[u"codec"_s].toString(), detail);
        const qint64 firstAudio = entry[u"firstAudioMs"_s].toInteger(-1);
        QVERIFY(firstAudio > 0 && firstAudio < 3000);
        QVERIFY(firstAudio <= entry[u"elapsedMs"_s].toInteger());
        if (detail == u"mp3"_s) { // the MP3 stations (ours and Icecast's) send 128 kb/s and ICY titles
            QVERIFY2(std::abs(entry[u"bitrate"_s].toInteger() - 128000) < 8000, qPrintable(QString::number(entry[u"bitrate"_s].toInteger())));
            QVERIFY2(entry[u"title"_s].toString().startsWith(u"演示电台 1"_s), qPrintable(entry[u"title"_s].toString()));
        } else {
            QVERIFY(entry[u"bitrate"_s].toInteger() > 16000);
        }
        QVERIFY(!entry.contains(u"reason"_s));
    } else {
        QCOMPARE(entry[u"kind"_s].toString(), kind);
        QVERIFY2(entry[u"reason"_s].toString().startsWith(detail), qPrintable(entry[u"reason"_s].toString()));
        QVERIFY(!entry.contains(u"codec"_s));
    }
}

void TestLumoraCheck::reportShape()
{
    const Run &run = mixedCatalogue();
    const QJsonObject report = run.json();
    QCOMPARE(report[u"exitStatus"_s].toInt(), run.exitCode);
    QCOMPARE(report[u"probed"_s].toBool(), true);
    QCOMPARE(report[u"parallel"_s].toInt(), 6);
    QCOMPARE(report[u"timeoutSeconds"_s].toDouble(), 3.0);
    QCOMPARE(QDir(report[u"folder"_s].toString()), QDir(m_mixedDir.path()));

    // Every file in load order, with its capacity and count; the loader's problems in its own words.
    const QJsonArray files = report[u"files"_s].toArray();
    const GroupTable::Table &definitions = GroupTable::groups();
    QCOMPARE(files.size(), qsizetype(definitions.size()));
    for (qsizetype i = 0; i < files.size(); ++i) {
        const QJsonObject file = files.at(i).toObject();
        QCOMPARE(file[u"file"_s].toString(), QString(definitions[size_t(i)].listFile));
        QCOMPARE(file[u"array"_s].toString(), QString(definitions[size_t(i)].arrayName));
        QCOMPARE(file[u"capacity"_s].toInt(), definitions[size_t(i)].capacity);
        QCOMPARE(file[u"count"_s].toInt(), file[u"entries"_s].toArray().size());
        QCOMPARE(file[u"readable"_s].toBool(), true);
    }
    const QJsonObject ah = fileIn(report, u"gb/ah.txt"_s);
    QCOMPARE(ah[u"count"_s].toInt(), 3);
    QCOMPARE(ah[u"problems"_s].toArray(),
             (QJsonArray{QJsonObject{{u"level"_s, u"problem"_s},
                                     {u"text"_s, u"列表文件 \"gb/ah.txt\" 第 3 条记录（第 3 行）只有 2 个字段（至少要 3 个，用“|”分隔），已跳过"_s}}}));
    const QJsonObject entry = ah[u"entries"_s].toArray().at(0).toObject();
    QCOMPARE(entry[u"index"_s].toInt(), 0);
    QCOMPARE(entry[u"name"_s].toString(), u"MP3 电台"_s);
    QCOMPARE(entry[u"address"_s].toString(), url(u"/radio/1.mp3"_s));

    const QJsonObject summary = report[u"summary"_s].toObject();
    QCOMPARE(summary[u"entries"_s].toInt(), 15);
    QCOMPARE(summary[u"playing"_s].toInt(), 9);
    QCOMPARE(summary[u"failing"_s].toInt(), 6);
    QCOMPARE(summary[u"problems"_s].toInt(), 1);
    QCOMPARE(summary[u"unreadable"_s].toInt(), 0);
    QCOMPARE(summary[u"peakParallel"_s].toInt(), 6);

    // The progress line went to stderr, the list files were only read.
    QVERIFY2(run.err.contains(u"已检查 14/14 个地址：可以播放 8，无法播放 6"_s), qPrintable(run.err));
    QCOMPARE(fingerprint(m_mixedDir.path()), m_mixedBefore);
}

void TestLumoraCheck::exitStatus_data()
{
    QTest::addColumn<Records>("records");
    QTest::addColumn<QString>("damage"); // "missing", "folder" or nothing
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("said"); // in the table

    const Records plays{{u"xs.txt"_s, {u"|相声|%1"_s.arg(url(u"/xs/1.mp3"_s))}}};
    const Records fails{{u"xs.txt"_s, {u"|相声|%1"_s.arg(url(u"/xs/1.mp3"_s)), u"|没了|%1"_s.arg(url(u"/fail/404"_s))}}};
    const Records skipped{{u"xs.txt"_s, {u"|相声|%1"_s.arg(url(u"/xs/1.mp3"_s)), u"坏记录"_s}}};
    const QStringList probe{u"-t"_s, u"3"_s};
    const QStringList noProbe{u"--no-probe"_s};
    QTest::newRow("everything plays") << plays << QString() << probe << 0 << u"可以播放 1 条，无法播放 0 条"_s;
    QTest::newRow("an entry fails") << fails << QString() << probe << 1 << u"无法播放：未找到(404)"_s;
    QTest::newRow("the loader skips a record") << skipped << QString() << noProbe << 1 << u"只有 1 个字段"_s;
    QTest::newRow("only read, all well") << plays << QString() << noProbe << 0 << u"共 17 个列表文件，1 条"_s;
    QTest::newRow("a file is missing") << plays << u"missing"_s << noProbe << 2 << u"无法读取（文件不存在）"_s;
    QTest::newRow("a folder stands for a file") << plays << u"folder"_s << probe << 2
                                                << u"无法读取（这是一个文件夹，不是文件）"_s;
    QTest::newRow("no such folder") << plays << u"no folder"_s << noProbe << 2 << QString();
    QTest::newRow("wrong option") << plays << QString() << QStringList{u"--parallel"_s, u"0"_s} << 2 << QString();
}

void TestLumoraCheck::exitStatus()
{
    QFETCH(Records, records);
    QFETCH(QString, damage);
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, said);
    writeCatalogue(m_dir->path(), records);
    QString folder = m_dir->path();
    if (damage == u"missing"_s) {
        QVERIFY(QFile::remove(m_dir->filePath(u"gb/cnr.txt"_s)));
    } else if (damage == u"folder"_s) {
        QVERIFY(QFile::remove(m_dir->filePath(u"gb.txt"_s)));
        QVERIFY(QDir(m_dir->path()).mkdir(u"gb.txt"_s));
    } else if (damage == u"no folder"_s) {
        folder = m_dir->filePath(u"nowhere"_s);
    }
    const Run run = runCheck(arguments + QStringList{folder});
    QCOMPARE(run.exitCode, exitCode);
    QVERIFY2(QString::fromUtf8(run.out).contains(said), run.out.constData());
}

// A bounded number at once: the server sees the first connections come
// together, and the next one only when a try has run out of time.
void TestLumoraCheck::parallelismBound_data()
{
    QTest::addColumn<int>("parallel");
    QTest::addColumn<int>("addresses");
    QTest::newRow("one at a time") << 1 << 3;
    QTest::newRow("three at a time") << 3 << 8;
    QTest::newRow("more at a time than addresses") << 8 << 5;
}

void TestLumoraCheck::parallelismBound()
{
    QFETCH(int, parallel);
    QFETCH(int, addresses);
    SilentServer silent;
    QVERIFY(silent.isListening());
    QStringList records;
    for (int i = 0; i < addresses; ++i) {
        records.append(u"|静默 %1|http://127.0.0.1:%2/live/%1.mp3"_s.arg(i).arg(silent.serverPort()));
    }
    writeCatalogue(m_dir->path(), {{u"gb.txt"_s, records}});
    const double timeout = 1.5;
    const Run run = runCheck({u"--json"_s, u"-j"_s, QString::number(parallel), u"-t"_s, QString::number(timeout), m_dir->path()});
    QCOMPARE(run.exitCode, 1);
    const QJsonObject summary = run.json()[u"summary"_s].toObject();
    QCOMPARE(summary[u"failing"_s].toInt(), addresses);
    QCOMPARE(summary[u"peakParallel"_s].toInt(), std::min(parallel, addresses));

    QList<qint64> accepted = silent.accepted();
    QCOMPARE(accepted.size(), addresses);
    std::sort(accepted.begin(), accepted.end());
    const qint64 timeoutMs = qint64(timeout * 1000);
    // The first wave is in flight together (peakParallel above, counted by
    // the tool itself; how soon it comes is no check on a busy machine), and
    // of any parallel + 1 connections in a row two are one worker's in turn,
    // so the last comes only after a try has had its full time: a bound that
    // a slow machine only makes easier.
    for (int i = 0; i + parallel < addresses; ++i) {
        QVERIFY2(accepted.at(i + parallel) - accepted.at(i) >= timeoutMs * 8 / 10,
                 qPrintable(u"%1 → %2"_s.arg(accepted.at(i)).arg(accepted.at(i + parallel))));
    }
}

void TestLumoraCheck::help()
{
    const Run run = runCheck({u"--help"_s});
    QCOMPARE(run.exitCode, 0);
    const QString text = QString::fromUtf8(run.out);
    for (const QString &piece : {u"用法：lumora-check"_s, u"Usage: lumora-check"_s, u"--parallel"_s, u"--timeout"_s,
                                u"--json"_s, u"退出状态"_s, u"Exit status"_s}) {
        QVERIFY2(text.contains(piece), qPrintable(piece));
    }
}

QTEST_GUILESS_MAIN(TestLumoraCheck)
#include "tst_lumoracheck.moc"
