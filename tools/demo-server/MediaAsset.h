#pragma once

#include <QByteArray>

// One generated medium held in memory. Live streams loop `body` after sending
// `head` once, so formats whose header must not repeat (ASF) split the two.
struct MediaAsset
{
    QByteArray contentType;
    QByteArray head;
    QByteArray body;
    double bytesPerSecond = 0;
    bool oggChain = false; // each loop is resent as a new link with a new serial number
};
