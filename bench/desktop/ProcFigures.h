#pragma once

#include <QStringList>

// What /proc tells about another process: CPU time, voluntary context
// switches summed over its threads, proportional set size, and the OpenGL
// driver libraries it has mapped.
namespace ProcFigures {

struct Snapshot
{
    double cpuSeconds = 0; // utime + stime
    long voluntarySwitches = 0; // over /proc/PID/task/*/status
};

Snapshot snapshot(qint64 pid);
// The command name of /proc/PID/comm.
QString name(qint64 pid);
// Pss of /proc/PID/smaps_rollup, in MiB; -1 when unreadable.
double pssMiB(qint64 pid);
// VmRSS of /proc/PID/status, in MiB; -1 when unreadable.
double rssMiB(qint64 pid);
// File names of the mapped OpenGL driver libraries (libGLX_mesa, libEGL_mesa,
// *_dri.so, libLLVM, and the GL dispatch libraries), sorted, once each.
QStringList glLibraries(qint64 pid);
// "PID (name)" of every other process that maps a library whose file name
// starts with `library`: the pages it shares count only in part towards the
// PSS of either.
QStringList othersMapping(qint64 pid, const QString &library);

} // namespace ProcFigures
