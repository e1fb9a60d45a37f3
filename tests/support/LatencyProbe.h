#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

// How long the UI thread went, at worst, without getting round to a timer
// due every few milliseconds: a blocking call on the UI thread shows here.
class LatencyProbe : public QObject
{
public:
    explicit LatencyProbe(int intervalMs = 5)
        : m_interval(intervalMs)
    {
        m_timer.setInterval(intervalMs);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            m_worst = qMax(m_worst, m_clock.restart() - m_interval);
        });
        m_clock.start();
        m_timer.start();
    }
    qint64 worstMs() const { return m_worst; }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    int m_interval;
    qint64 m_worst = 0;
};
