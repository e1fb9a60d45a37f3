#include "ProbePool.h"

#include <algorithm>

#include <QCoreApplication>
#include <QMetaObject>
#include <QProcess>
#include <QTimer>

#include "FailureKind.h"
#include "ProbeProtocol.h"

struct ProbePool::Worker
{
    std::unique_ptr<QProcess> process;
    QTimer watchdog;
    QByteArray output;
    QString address; // of the try it runs or ran last
    bool busy = false;
    bool answered = false; // has answered at least once
};

ProbePool::ProbePool(int parallel, double timeoutSeconds, const QString &workerProgram, QObject *parent)
    : QObject(parent)
    , m_parallel(std::max(parallel, 1))
    , m_timeoutSeconds(timeoutSeconds)
    , m_program(workerProgram.isEmpty() ? QCoreApplication::applicationFilePath() : workerProgram)
{
}

ProbePool::~ProbePool()
{
    // Workers that are still tearing their engine down need not finish that.
    for (const std::unique_ptr<Worker> &worker : m_workers) {
        if (worker->process) {
            worker->process->disconnect(this);
            worker->process->kill();
            worker->process->waitForFinished(1000);
        }
    }
}

void ProbePool::run(const QStringList &addresses)
{
    m_addresses = addresses;
    m_addresses.removeDuplicates();
    m_next = 0;
    m_running = 0;
    m_peakRunning = 0;
    m_playing = 0;
    m_finished = false;
    m_results.clear();
    m_clock.start();
    if (m_addresses.isEmpty()) {
        QMetaObject::invokeMethod(this, &ProbePool::finishIfDone, Qt::QueuedConnection);
        return;
    }
    const qsizetype count = std::min<qsizetype>(m_parallel, m_addresses.size());
    while (qsizetype(m_workers.size()) < count) {
        auto worker = std::make_unique<Worker>();
        Worker *w = worker.get();
        w->watchdog.setSingleShot(true);
        connect(&w->watchdog, &QTimer::timeout, this, [this, w] {
            onGone(*w, Failure::Kind::Timeout,
                   QStringLiteral("超时：检查进程 %1 秒内没有回答").arg(m_timeoutSeconds + kAnswerGraceMs / 1000));
        });
        m_workers.push_back(std::move(worker));
    }
    for (const std::unique_ptr<Worker> &worker : m_workers) {
        sendNext(*worker);
    }
    Q_EMIT progress(0, int(m_addresses.size()), m_running, 0);
}

void ProbePool::launch(Worker &worker)
{
    worker.output.clear();
    worker.answered = false;
    worker.process = std::make_unique<QProcess>();
    QProcess *process = worker.process.get();
    // What a worker says on stderr (the player unavailable, say) is for the user.
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    connect(process, &QProcess::readyReadStandardOutput, this, [this, &worker] { onOutput(worker); });
    connect(process, &QProcess::finished, this, [this, &worker](int code, QProcess::ExitStatus status) {
        onGone(worker, Failure::Kind::CannotOpen,
               status == QProcess::CrashExit ? QStringLiteral("检查进程意外退出")
                                             : QStringLiteral("检查进程意外结束（退出状态 %1）").arg(code));
    });
    connect(process, &QProcess::errorOccurred, this, [this, &worker](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            onGone(worker, Failure::Kind::CannotOpen,
                   QStringLiteral("无法启动检查进程：%1").arg(worker.process->errorString()));
        }
    });
    process->start(m_program, {QString::fromLatin1(ProbeProtocol::kWorkerArgument), QStringLiteral("--timeout"),
                               QString::number(m_timeoutSeconds)});
}

void ProbePool::sendNext(Worker &worker)
{
    if (m_next >= m_addresses.size()) {
        if (worker.process) {
            worker.process->closeWriteChannel();
        }
        return;
    }
    if (!worker.process) {
        launch(worker);
    }
    worker.address = m_addresses.at(m_next++);
    worker.busy = true;
    ++m_running;
    m_peakRunning = std::max(m_peakRunning, m_running);
    worker.watchdog.start(int(m_timeoutSeconds * 1000) + kAnswerGraceMs);
    worker.process->write(ProbeProtocol::request(worker.address));
}

void ProbePool::onOutput(Worker &worker)
{
    worker.output += worker.process->readAllStandardOutput();
    qsizetype end;
    while ((end = worker.output.indexOf('\n')) >= 0) {
        const QByteArray line = worker.output.left(end);
        worker.output.remove(0, end + 1);
        const std::optional<ProbeResult> result = ProbeProtocol::parseAnswer(line);
        if (!result || !worker.busy) {
            continue;
        }
        worker.watchdog.stop();
        worker.answered = true;
        worker.busy = false;
        --m_running;
        record(worker.address, *result);
        sendNext(worker);
        finishIfDone();
    }
}

// The worker ended, could not start or stopped answering: its try fails, and
// the next address goes to a new worker, unless workers cannot even start.
void ProbePool::onGone(Worker &worker, Failure::Kind kind, const QString &reason)
{
    if (!worker.process) {
        return;
    }
    worker.watchdog.stop();
    QProcess *process = worker.process.release();
    process->disconnect(this);
    process->kill();
    connect(process, &QProcess::finished, process, &QObject::deleteLater);
    if (process->state() == QProcess::NotRunning) {
        process->deleteLater();
    }
    if (!worker.answered) {
        ++m_launchFailures;
    }
    if (worker.busy) {
        ProbeResult result;
        result.reason = reason;
        result.kind = FailureKind::key(kind);
        worker.busy = false;
        --m_running;
        record(worker.address, result);
    }
    // A worker that never answered may never start; do not try forever.
    if (m_launchFailures > m_parallel + 3) {
        while (m_next < m_addresses.size()) {
            ProbeResult result;
            result.reason = reason;
            result.kind = FailureKind::key(kind);
            record(m_addresses.at(m_next++), result);
        }
    } else {
        sendNext(worker);
    }
    finishIfDone();
}

void ProbePool::record(const QString &address, const ProbeResult &result)
{
    m_results.insert(address, result);
    if (result.plays) {
        ++m_playing;
    }
    Q_EMIT progress(int(m_results.size()), int(m_addresses.size()), m_running, m_playing);
}

void ProbePool::finishIfDone()
{
    if (m_finished || m_results.size() < m_addresses.size()) {
        return;
    }
    m_finished = true;
    for (const std::unique_ptr<Worker> &worker : m_workers) {
        worker->watchdog.stop();
        if (worker->process) {
            worker->process->closeWriteChannel();
        }
    }
    Q_EMIT finished();
}
