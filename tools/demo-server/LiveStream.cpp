#include "LiveStream.h"

#include <QTcpSocket>

namespace {

constexpr int kTickMs = 50;
constexpr qint64 kMaxPendingBytes = 256 * 1024;
// A client that reads nothing for this long is taken to be gone.
constexpr qint64 kStallLimitMs = 30 * 1000;
// The pace of a stream with no medium behind it.
constexpr double kBytesPerSecondWithoutMedium = 16000;

} // namespace

LiveStream::LiveStream(QTcpSocket *socket, const MediaAsset *asset, Options options, QObject *parent)
    : QObject(parent)
    , m_socket(socket)
    , m_asset(asset)
    , m_options(std::move(options))
{
    m_timer.setInterval(kTickMs);
    connect(&m_timer, &QTimer::timeout, this, &LiveStream::tick);
}

double LiveStream::bytesPerSecond() const
{
    return m_asset ? m_asset->bytesPerSecond : kBytesPerSecondWithoutMedium;
}

void LiveStream::start()
{
    m_bytesPerSecond = qMax(1.0, bytesPerSecond());
    m_clock.start();
    m_timer.start();
    tick();
}

void LiveStream::tick()
{
    if (!m_socket || m_socket->state() != QAbstractSocket::ConnectedState) {
        finish();
        return;
    }
    const qint64 elapsed = m_clock.elapsed();
    // A reader that does not keep up is not fed: the kernel and Qt buffers stay small.
    if (m_socket->bytesToWrite() > kMaxPendingBytes) {
        if (m_stalledSince < 0)
            m_stalledSince = elapsed;
        if (elapsed - m_stalledSince > kStallLimitMs) {
            m_socket->abort();
            finish();
        }
        return;
    }
    m_stalledSince = -1;

    const qint64 burst = qint64(m_bytesPerSecond * m_options.burstSeconds);
    const qint64 due = burst + qint64(m_bytesPerSecond * double(elapsed) / 1000.0);
    qint64 count = due - m_sent;
    // Never more than one burst at once, whatever was missed while the reader stalled.
    const qint64 allowed = qMax<qint64>(burst, qint64(m_bytesPerSecond * kTickMs / 1000.0) * 4);
    if (count > allowed) {
        m_sent = due - allowed;
        count = allowed;
    }
    if (count <= 0)
        return;

    QByteArray chunk = take(count);
    m_sent += count;
    if (m_options.icy)
        chunk = m_options.icy->interleave(chunk);
    m_socket->write(chunk);
}

QByteArray LiveStream::take(qint64 count)
{
    QByteArray out;
    if (!m_asset || m_asset->body.isEmpty())
        return QByteArray(count, '\0');
    out.reserve(count);
    while (out.size() < count) {
        if (m_pos >= m_current.size()) {
            if (!m_headSent && !m_asset->head.isEmpty()) {
                m_current = m_asset->head;
                m_headSent = true;
            } else if (m_asset->pass) {
                m_current = m_asset->pass(m_loop);
                ++m_loop;
            } else {
                m_current = m_asset->body;
                ++m_loop;
            }
            m_pos = 0;
        }
        const qsizetype n = qMin<qsizetype>(count - out.size(), m_current.size() - m_pos);
        out.append(m_current.constData() + m_pos, n);
        m_pos += n;
    }
    return out;
}

void LiveStream::end()
{
    if (m_socket)
        m_socket->disconnectFromHost();
    finish();
}

void LiveStream::finish()
{
    m_timer.stop();
    Q_EMIT finished();
}
