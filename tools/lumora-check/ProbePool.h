#pragma once

#include <memory>
#include <vector>

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QStringList>

#include "Failure.h"
#include "ProbeResult.h"

class QProcess;
class QTimer;

// Tries a list of addresses with at most a given number at once. Each of
// that many worker processes (lumora-check in its worker role, see
// ProbeWorker) holds one engine and is sent the next address in list order
// as soon as it has answered the one before. A worker that dies or stops
// answering is replaced; its address counts as failed. All of this runs in
// the calling thread's event loop and never waits.
class ProbePool : public QObject
{
    Q_OBJECT

public:
    // How much longer than the time limit a worker may take to answer.
    static constexpr int kAnswerGraceMs = 5000;

    // workerProgram is lumora-check itself (the running program by default).
    ProbePool(int parallel, double timeoutSeconds, const QString &workerProgram = {}, QObject *parent = nullptr);
    ~ProbePool() override;

    // Tries every address once, however often it is listed; finished()
    // follows when all are done (from the event loop, also for an empty list).
    void run(const QStringList &addresses);

    const QHash<QString, ProbeResult> &results() const { return m_results; }
    // The most tries that ran at the same moment.
    int peakRunning() const { return m_peakRunning; }
    qint64 elapsedMs() const { return m_clock.elapsed(); }

Q_SIGNALS:
    void progress(int done, int total, int running, int playing);
    void finished();

private:
    struct Worker;

    void launch(Worker &worker);
    void sendNext(Worker &worker);
    void onOutput(Worker &worker);
    // reason words the failure of a worker, kind keys it.
    void onGone(Worker &worker, Failure::Kind kind, const QString &reason);
    void record(const QString &address, const ProbeResult &result);
    void finishIfDone();

    int m_parallel;
    double m_timeoutSeconds;
    QString m_program;
    std::vector<std::unique_ptr<Worker>> m_workers;
    QStringList m_addresses;
    qsizetype m_next = 0;
    int m_running = 0;
    int m_peakRunning = 0;
    int m_playing = 0;
    int m_launchFailures = 0;
    bool m_finished = false;
    QHash<QString, ProbeResult> m_results;
    QElapsedTimer m_clock;
};
