#pragma once

#include <QByteArray>

#include <functional>

// One generated medium held in memory. Live streams send `head` once and then
// `body` over and over; formats whose timeline must go on across the seam
// provide `pass`, which gives the bytes of the n-th time round instead.
struct MediaAsset
{
    QByteArray contentType;
    QByteArray head;
    QByteArray body;
    double bytesPerSecond = 0;
    std::function<QByteArray(quint32 loop)> pass;
};
