#pragma once

#include "LiveStream.h"

// Random bytes at 16 KB/s where a player expects audio, closed after a fixed
// amount: a stream no demuxer can make sense of.
class NoiseStream : public LiveStream
{
public:
    NoiseStream(QTcpSocket *socket, qint64 maxBytes, QObject *parent);

protected:
    double bytesPerSecond() const override { return 16000; }
    QByteArray take(qint64 count) override;

private:
    qint64 m_left;
};
