#include <QSignalSpy>
#include <QTest>

#include "SleepTimer.h"

using namespace Qt::StringLiterals;

// The sleep timer against a clock the test moves: what it shows, the fade,
// the end, and how seldom it wakes.
class TestSleepTimer : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { m_now = 1000; }
    void countsDownFadesAndEnds();
    void wakesOnlyWhenSomethingChanges();
    void restartAndCancel();

private:
    void moveTo(qint64 ms, SleepTimer &timer)
    {
        m_now = ms;
        timer.update();
    }
    qint64 m_now = 0;
    SleepTimer::Clock clock() { return [this] { return m_now; }; }
};

void TestSleepTimer::countsDownFadesAndEnds()
{
    SleepTimer timer(clock(), nullptr);
    QSignalSpy expired(&timer, &SleepTimer::expired);
    QSignalSpy factors(&timer, &SleepTimer::volumeFactorChanged);
    timer.start(15);
    QVERIFY(timer.isActive());
    QCOMPARE(timer.remainingText(), u"还剩 15 分钟"_s);
    QCOMPARE(timer.volumeFactor(), 1.0);

    const qint64 end = 1000 + 15 * 60 * 1000;
    moveTo(end - 14 * 60 * 1000, timer);
    QCOMPARE(timer.remainingText(), u"还剩 14 分钟"_s);
    moveTo(end - 45 * 1000, timer);
    QCOMPARE(timer.remainingText(), u"还剩 45 秒"_s);
    QCOMPARE(timer.volumeFactor(), 1.0);
    QVERIFY(factors.isEmpty());

    // The last 30 s fade the sound out.
    moveTo(end - 15 * 1000, timer);
    QCOMPARE(timer.volumeFactor(), 0.5);
    QCOMPARE(factors.last().first().toDouble(), 0.5);
    moveTo(end - 3 * 1000, timer);
    QCOMPARE(factors.last().first().toDouble(), 0.1);
    QVERIFY(expired.isEmpty());

    moveTo(end, timer);
    QCOMPARE(expired.size(), 1);
    QVERIFY(!timer.isActive());
    QVERIFY(timer.remainingText().isEmpty());
    // The next station plays at the listener's own volume again.
    QCOMPARE(factors.last().first().toDouble(), 1.0);
    QCOMPARE(timer.nextWakeMs(), -1);
}

void TestSleepTimer::wakesOnlyWhenSomethingChanges()
{
    SleepTimer timer(clock(), nullptr);
    timer.start(90);
    const qint64 end = 1000 + 90 * 60 * 1000;
    // Minutes shown: once a minute.
    QCOMPARE(timer.nextWakeMs(), 60 * 1000);
    moveTo(end - 61 * 1000 - 500, timer); // 1:01.5 left
    QCOMPARE(timer.nextWakeMs(), 1500);
    moveTo(end - 60 * 1000, timer);
    QCOMPARE(timer.remainingText(), u"还剩 60 秒"_s);
    QCOMPARE(timer.nextWakeMs(), 1000);
    moveTo(end - 30 * 1000 - 200, timer);
    QCOMPARE(timer.nextWakeMs(), 200);
    moveTo(end - 30 * 1000, timer);
    QCOMPARE(timer.nextWakeMs(), SleepTimer::kFadeStepMs);
    moveTo(end - 100, timer);
    QCOMPARE(timer.nextWakeMs(), 100);
}

void TestSleepTimer::restartAndCancel()
{
    SleepTimer timer(clock(), nullptr);
    QSignalSpy active(&timer, &SleepTimer::activeChanged);
    QSignalSpy texts(&timer, &SleepTimer::remainingTextChanged);
    timer.start(30);
    timer.start(60);
    QCOMPARE(active.size(), 1);
    QCOMPARE(timer.minutes(), 60);
    QCOMPARE(timer.remainingText(), u"还剩 60 分钟"_s);

    // Cancelled in the fade: the sound comes back, nothing expires.
    QSignalSpy expired(&timer, &SleepTimer::expired);
    QSignalSpy factors(&timer, &SleepTimer::volumeFactorChanged);
    moveTo(1000 + 60 * 60 * 1000 - 10 * 1000, timer);
    QVERIFY(timer.volumeFactor() < 1.0);
    timer.cancel();
    QVERIFY(!timer.isActive());
    QCOMPARE(factors.last().first().toDouble(), 1.0);
    QCOMPARE(texts.last().first().toString(), QString());
    QCOMPARE(active.size(), 2);
    QVERIFY(expired.isEmpty());
    QCOMPARE(timer.nextWakeMs(), -1);
}

QTEST_GUILESS_MAIN(TestSleepTimer)
#include "tst_sleeptimer.moc"
