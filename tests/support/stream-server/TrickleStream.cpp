#include "TrickleStream.h"

TrickleStream::TrickleStream(QTcpSocket *socket, const MediaAsset *asset, Options options, QObject *parent)
    : LiveStream(socket, asset, [&options] {
        options.burstSeconds = 0;
        return options;
    }(), parent)
{
}

double TrickleStream::bytesPerSecond() const
{
    return LiveStream::bytesPerSecond() * kRateFactor;
}
