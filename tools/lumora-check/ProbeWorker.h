#pragma once

#include <QByteArray>
#include <QObject>
#include <QSocketNotifier>
#include <QStringList>

#include "StationProbe.h"

// The far end of ProbePool: one engine in a process of its own that tries
// the addresses it is sent on standard input one after the other and answers
// each on standard output (ProbeProtocol). libmpv hands the log lines of the
// network layer to the first engine of a process only, and those lines are
// what tells "not found" from "connection refused"; so every engine that
// runs at the same time has a process to itself.
class ProbeWorker : public QObject
{
    Q_OBJECT

public:
    explicit ProbeWorker(double timeoutSeconds, QObject *parent = nullptr);

    // Serves until standard input closes and the last try is answered, then
    // quits the application.
    void start();

private:
    void onReadable();
    void startNext();
    void onFinished(const ProbeResult &result);

    StationProbe m_probe;
    QSocketNotifier m_input;
    QByteArray m_buffer;
    QStringList m_queue;
    bool m_inputClosed = false;
};
