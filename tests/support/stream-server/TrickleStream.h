#pragma once

#include "LiveStream.h"

// A station's medium at a quarter of its bit rate, with no start burst: a
// server or a link too slow for the stream it carries.
class TrickleStream : public LiveStream
{
public:
    static constexpr double kRateFactor = 0.25;

    TrickleStream(QTcpSocket *socket, const MediaAsset *asset, Options options, QObject *parent);

protected:
    double bytesPerSecond() const override;
};
