#pragma once

#include <QObject>
#include <QTimer>

#include <functional>

// Stops the playing after a while, for a listener falling asleep: the time
// left is there to show, the sound fades out over the last 30 s, then
// expired() asks for the stop. Another choice of station does not touch it;
// cancel() does. It wakes only when what it shows or the fade changes: once
// a minute while more than a minute is left, once a second in the last
// minute, a few times a second while fading.
class SleepTimer : public QObject
{
    Q_OBJECT

public:
    static constexpr qint64 kFadeMs = 30 * 1000;
    static constexpr int kFadeStepMs = 250;
    // The lengths offered, in minutes.
    static constexpr int kChoices[] = { 15, 30, 60, 90 };

    // Milliseconds on a monotonic clock; tests give their own.
    using Clock = std::function<qint64()>;

    explicit SleepTimer(QObject *parent = nullptr);
    SleepTimer(Clock clock, QObject *parent);

    void start(int minutes);
    // The same for any length (the menu offers kChoices).
    void startFor(qint64 ms);
    void cancel();

    bool isActive() const { return m_endMs >= 0; }
    int minutes() const { return m_minutes; }
    qint64 remainingMs() const;
    // 1 until the last 30 s, then down to 0 at the end.
    double volumeFactor() const;
    // "还剩 15 分钟", "还剩 42 秒"; empty when off.
    QString remainingText() const;
    // How long until it wakes next, or -1.
    int nextWakeMs() const { return m_wake.isActive() ? m_wake.interval() : -1; }

public Q_SLOTS:
    // Reads the clock again: emits what changed and plans the next wake-up.
    void update();

Q_SIGNALS:
    void remainingTextChanged(const QString &text);
    void volumeFactorChanged(double factor);
    void expired();
    void activeChanged(bool active);

private:
    void schedule();

    Clock m_clock;
    QTimer m_wake;
    qint64 m_endMs = -1;
    int m_minutes = 0;
    QString m_shownText;
    double m_shownFactor = 1.0;
};
