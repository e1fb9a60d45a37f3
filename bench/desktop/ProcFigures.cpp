#include "ProcFigures.h"

#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

namespace ProcFigures {

namespace {

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString base(qint64 pid)
{
    return QStringLiteral("/proc/%1").arg(pid);
}

} // namespace

Snapshot snapshot(qint64 pid)
{
    Snapshot s;
    // The command name may hold spaces and parentheses: fields count from the last ')'.
    const QByteArray stat = readAll(base(pid) + QStringLiteral("/stat"));
    const QList<QByteArray> f = stat.mid(stat.lastIndexOf(')') + 1).trimmed().split(' ');
    if (f.size() > 12)
        s.cpuSeconds = double(f[11].toLongLong() + f[12].toLongLong()) / double(sysconf(_SC_CLK_TCK));
    const QString tasks = base(pid) + QStringLiteral("/task");
    for (const QString &task : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        for (const QByteArray &line : readAll(tasks + QLatin1Char('/') + task + QStringLiteral("/status")).split('\n')) {
            if (line.startsWith("voluntary_ctxt_switches:"))
                s.voluntarySwitches += line.mid(line.indexOf(':') + 1).trimmed().toLong();
        }
    }
    return s;
}

QString name(qint64 pid)
{
    return QString::fromUtf8(readAll(base(pid) + QStringLiteral("/comm")).trimmed());
}

double pssMiB(qint64 pid)
{
    for (const QByteArray &line : readAll(base(pid) + QStringLiteral("/smaps_rollup")).split('\n')) {
        if (line.startsWith("Pss:"))
            return line.mid(4).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return -1;
}

double rssMiB(qint64 pid)
{
    for (const QByteArray &line : readAll(base(pid) + QStringLiteral("/status")).split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return -1;
}

QStringList glLibraries(qint64 pid)
{
    QSet<QString> names;
    for (const QByteArray &line : readAll(base(pid) + QStringLiteral("/maps")).split('\n')) {
        const qsizetype slash = line.indexOf('/');
        if (slash < 0)
            continue;
        const QString name = QFileInfo(QString::fromUtf8(line.mid(slash))).fileName();
        if (name.startsWith(QLatin1String("libGLX")) || name.startsWith(QLatin1String("libEGL"))
            || name.startsWith(QLatin1String("libGL.")) || name.startsWith(QLatin1String("libOpenGL"))
            || name.startsWith(QLatin1String("libgbm")) || name.startsWith(QLatin1String("libglapi"))
            || name.startsWith(QLatin1String("libLLVM")) || name.contains(QLatin1String("_dri.so")))
            names.insert(name);
    }
    QStringList sorted(names.begin(), names.end());
    sorted.sort();
    return sorted;
}

QStringList othersMapping(qint64 pid, const QString &library)
{
    QStringList found;
    const QStringList pids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &other : pids) {
        bool number = false;
        const qint64 id = other.toLongLong(&number);
        if (!number || id == pid)
            continue;
        for (const QByteArray &line : readAll(base(id) + QStringLiteral("/maps")).split('\n')) {
            const qsizetype slash = line.indexOf('/');
            if (slash >= 0 && QFileInfo(QString::fromUtf8(line.mid(slash))).fileName().startsWith(library)) {
                found << QStringLiteral("%1 (%2)").arg(id).arg(name(id));
                break;
            }
        }
    }
    return found;
}

} // namespace ProcFigures
