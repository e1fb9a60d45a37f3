#include "NoiseStream.h"

#include <QRandomGenerator>
#include <QTimer>

NoiseStream::NoiseStream(QTcpSocket *socket, qint64 maxBytes, QObject *parent)
    : LiveStream(socket, nullptr, Options{1.0, {}}, parent)
    , m_left(maxBytes)
{
}

QByteArray NoiseStream::take(qint64 count)
{
    QByteArray out(qMin(count, m_left), Qt::Uninitialized);
    QRandomGenerator::global()->fillRange(reinterpret_cast<quint32 *>(out.data()), out.size() / 4);
    for (qsizetype i = out.size() / 4 * 4; i < out.size(); ++i)
        out[i] = char(QRandomGenerator::global()->bounded(256));
    m_left -= out.size();
    if (m_left <= 0)
        QTimer::singleShot(0, this, &LiveStream::end);
    return out;
}
