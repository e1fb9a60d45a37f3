#include "ProbeWorker.h"

#include <cstdio>

#include <unistd.h>

#include <QCoreApplication>

#include "ProbeProtocol.h"

ProbeWorker::ProbeWorker(double timeoutSeconds, QObject *parent)
    : QObject(parent)
    , m_probe(StationProbe::engineOptions(timeoutSeconds), int(timeoutSeconds * 1000))
    , m_input(STDIN_FILENO, QSocketNotifier::Read)
{
    m_input.setEnabled(false);
    connect(&m_input, &QSocketNotifier::activated, this, &ProbeWorker::onReadable);
    connect(&m_probe, &StationProbe::finished, this, &ProbeWorker::onFinished);
}

void ProbeWorker::start()
{
    m_probe.prepare();
    m_input.setEnabled(true);
}

void ProbeWorker::onReadable()
{
    char chunk[4096];
    const ssize_t got = ::read(STDIN_FILENO, chunk, sizeof chunk);
    if (got <= 0) {
        m_input.setEnabled(false);
        m_inputClosed = true;
    } else {
        m_buffer.append(chunk, got);
    }
    qsizetype end;
    while ((end = m_buffer.indexOf('\n')) >= 0) {
        const QByteArray line = m_buffer.left(end);
        m_buffer.remove(0, end + 1);
        if (const std::optional<QString> address = ProbeProtocol::parseRequest(line)) {
            m_queue.append(*address);
        }
    }
    startNext();
}

void ProbeWorker::startNext()
{
    if (m_probe.isBusy()) {
        return;
    }
    if (!m_queue.isEmpty()) {
        m_probe.start(m_queue.takeFirst());
    } else if (m_inputClosed) {
        QCoreApplication::quit();
    }
}

void ProbeWorker::onFinished(const ProbeResult &result)
{
    const QByteArray line = ProbeProtocol::answer(result);
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    std::fflush(stdout);
    startNext();
}
