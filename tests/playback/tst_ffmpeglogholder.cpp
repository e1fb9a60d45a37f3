#include <QSignalSpy>
#include <QTest>

#include "DemoServerProcess.h"
#include "MpvCore.h"

namespace {

constexpr int kEndTimeoutMs = 20000;

MpvCore::Options nullOutput()
{
    MpvCore::Options options;
    options.audioOutput = QStringLiteral("null");
    return options;
}

bool saysRefused(const QSignalSpy &log)
{
    for (const QList<QVariant> &args : log) {
        // ffmpeg's own words, not libmpv's.
        if (args.at(0).toString() == QLatin1String("ffmpeg")
            && args.at(2).toString().contains(QLatin1String("Connection refused")))
            return true;
    }
    return false;
}

}

// What ffmpeg logs (here: a refused connection, which tells why a stream does
// not play) reaches the core that opened a stream last, however many cores
// and handles the process holds.
class TestFfmpegLogHolder : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void reachesTheCoreThatOpenedLast();
};

void TestFfmpegLogHolder::reachesTheCoreThatOpenedLast()
{
    const QString refused = QStringLiteral("http://127.0.0.1:%1/live").arg(DemoServerProcess::closedPort());
    MpvCore first(nullOutput());
    MpvCore second(nullOutput());
    QVERIFY2(first.isValid() && second.isValid(), qPrintable(first.initError() + second.initError()));
    QSignalSpy firstLog(&first, &MpvCore::logMessage);
    QSignalSpy secondLog(&second, &MpvCore::logMessage);

    for (MpvCore *core : { &first, &second }) {
        QSignalSpy ended(core, &MpvCore::fileEnded);
        core->command({ QStringLiteral("loadfile"), refused });
        QVERIFY(ended.wait(kEndTimeoutMs));
        QTRY_VERIFY(saysRefused(core == &first ? firstLog : secondLog));
        if (core == &first) {
            QVERIFY(!saysRefused(secondLog));
            firstLog.clear();
        }
    }
    // The second open was the second core's alone.
    QVERIFY(!saysRefused(firstLog));
}

QTEST_GUILESS_MAIN(TestFfmpegLogHolder)
#include "tst_ffmpeglogholder.moc"
