#include <QSignalSpy>
#include <QTest>

#include "Reconnector.h"

namespace {

// The watchdog of these tests: short, since nothing is opened.
constexpr int kOpenTimeoutMs = 20;

}

// When a stream is tried again and when it is given up: the pauses between
// attempts, the attempts themselves, and the watchdog of an open.
class TestReconnector : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void pausesGrowThenGiveUp();
    void retriesWhenThePauseIsOver();
    void aNewChoiceCancelsTheAttempt();
    void watchdog();
};

void TestReconnector::pausesGrowThenGiveUp()
{
    Reconnector reconnector(kOpenTimeoutMs);
    QList<int> delays;
    for (int delay = reconnector.dropped(); delay >= 0; delay = reconnector.dropped())
        delays.append(delay);
    // Doubling from the first pause up to the cap, a bounded number of times.
    QCOMPARE(delays, (QList<int> { 1000, 2000, 4000, 8000, 16000, 30000, 30000, 30000 }));
    QCOMPARE(reconnector.attempt(), ReconnectPolicy::kMaxAttempts);
    QCOMPARE(reconnector.dropped(), -1);
    // Another choice starts from the first pause again.
    reconnector.reset();
    QCOMPARE(reconnector.attempt(), 0);
    QCOMPARE(reconnector.dropped(), ReconnectPolicy::kFirstDelayMs);
    QCOMPARE(reconnector.attempt(), 1);
    // A stream that opened but dropped at once is not healthy: the pauses go on growing.
    reconnector.loaded();
    QCOMPARE(reconnector.dropped(), 2 * ReconnectPolicy::kFirstDelayMs);
}

void TestReconnector::retriesWhenThePauseIsOver()
{
    Reconnector reconnector(kOpenTimeoutMs);
    QSignalSpy retry(&reconnector, &Reconnector::retry);
    QVERIFY(!reconnector.waiting());
    reconnector.dropped();
    reconnector.dropped();
    reconnector.retryAfter(0);
    QVERIFY(reconnector.waiting());
    QVERIFY(retry.wait());
    QCOMPARE(retry.size(), 1);
    // The attempt it makes is named.
    QCOMPARE(retry.takeFirst().at(0).toInt(), 2);
    QVERIFY(!reconnector.waiting());
}

void TestReconnector::aNewChoiceCancelsTheAttempt()
{
    Reconnector reconnector(kOpenTimeoutMs);
    QSignalSpy retry(&reconnector, &Reconnector::retry);
    QSignalSpy timedOut(&reconnector, &Reconnector::openTimedOut);
    reconnector.dropped();
    reconnector.retryAfter(0);
    reconnector.cancel();
    QVERIFY(!reconnector.waiting());
    QCOMPARE(reconnector.attempt(), 1);
    reconnector.retryAfter(0);
    reconnector.reset();
    QVERIFY(!reconnector.waiting());
    QCOMPARE(reconnector.attempt(), 0);
    // Whatever was due would have come before a watchdog that comes after it.
    reconnector.watchOpen();
    QVERIFY(timedOut.wait());
    QCOMPARE(retry.size(), 0);
}

void TestReconnector::watchdog()
{
    Reconnector reconnector(kOpenTimeoutMs);
    QSignalSpy timedOut(&reconnector, &Reconnector::openTimedOut);
    reconnector.watchOpen();
    QVERIFY(reconnector.watching());
    QVERIFY(timedOut.wait());
    QCOMPARE(timedOut.size(), 1);
    QVERIFY(!reconnector.watching());

    // A stream that opens, or an open given up, ends the watch.
    reconnector.watchOpen();
    reconnector.loaded();
    QVERIFY(!reconnector.watching());
    reconnector.watchOpen();
    reconnector.stopWatching();
    QVERIFY(!reconnector.watching());
    QCOMPARE(timedOut.size(), 1);
}

QTEST_GUILESS_MAIN(TestReconnector)
#include "tst_reconnector.moc"
