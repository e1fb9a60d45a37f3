#pragma once

#include <cstdio>

#include <QCoreApplication>
#include <QEvent>
#include <QFile>
#include <QObject>
#include <QTimer>

// Installed on a window's QWindow: prints "shown" at its first expose, then
// its resident memory ("VmRSS:", "RssAnon:", "RssFile:" lines, "rss <KiB>"
// and the "Pss:" line of smaps_rollup) after a moment at rest, and quits.
// What bench_startup and bench_desktop read from each process they start.
class FirstExpose : public QObject
{
public:
    // The resident-memory lines of /proc/self/status.
    static QList<QByteArray> memoryLines()
    {
        QList<QByteArray> lines;
        QFile status(QStringLiteral("/proc/self/status"));
        if (status.open(QIODevice::ReadOnly)) {
            for (const QByteArray &line : status.readAll().split('\n')) {
                if (line.startsWith("VmRSS:") || line.startsWith("RssAnon:") || line.startsWith("RssFile:"))
                    lines.append(line);
            }
        }
        return lines;
    }

    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Expose && !m_done) {
            m_done = true;
            std::printf("shown\n");
            std::fflush(stdout);
            QTimer::singleShot(1500, qApp, [] {
                const QList<QByteArray> lines = memoryLines();
                for (const QByteArray &line : lines)
                    std::printf("%s\n", line.constData());
                if (!lines.isEmpty())
                    std::printf("rss %s\n", lines.first().mid(6).trimmed().split(' ').first().constData());
                QFile rollup(QStringLiteral("/proc/self/smaps_rollup"));
                if (rollup.open(QIODevice::ReadOnly)) {
                    for (const QByteArray &line : rollup.readAll().split('\n')) {
                        if (line.startsWith("Pss:"))
                            std::printf("%s\n", line.constData());
                    }
                }
                std::fflush(stdout);
                QCoreApplication::quit();
            });
        }
        return false;
    }

private:
    bool m_done = false;
};
