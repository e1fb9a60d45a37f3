#pragma once

#include <cstdio>

#include <QCoreApplication>
#include <QEvent>
#include <QFile>
#include <QObject>
#include <QTimer>

// Installed on a window's QWindow: prints "shown" at its first expose, then
// "rss <KiB>" after a moment at rest, and quits. What bench_startup reads
// from each process it starts.
class FirstExpose : public QObject
{
public:
    static long residentKiB()
    {
        QFile status(QStringLiteral("/proc/self/status"));
        if (!status.open(QIODevice::ReadOnly))
            return -1;
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("VmRSS:"))
                return line.mid(6).trimmed().split(' ').first().toLong();
        }
        return -1;
    }

    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Expose && !m_done) {
            m_done = true;
            std::printf("shown\n");
            std::fflush(stdout);
            QTimer::singleShot(1500, qApp, [] {
                std::printf("rss %ld\n", residentKiB());
                std::fflush(stdout);
                QCoreApplication::quit();
            });
        }
        return false;
    }

private:
    bool m_done = false;
};
