#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <memory>

#include "IcyMetadata.h"
#include "MediaAsset.h"

class QTcpSocket;

// Writes an endless loop of one medium into a socket at the medium's own rate,
// as a live station would: a short burst first so that players start quickly,
// then only as much as real time allows. A client that falls behind loses the
// backlog instead of receiving it all at once later.
class LiveStream : public QObject
{
    Q_OBJECT

public:
    struct Options
    {
        double rateFactor = 1.0;
        double burstSeconds = 1.5;
        std::shared_ptr<IcyMetadata> icy;  // null: plain audio
        qint64 closeAfterMs = -1;          // <0: never
        qint64 maxBytes = -1;              // <0: unbounded
        bool randomBytes = false;          // noise instead of the medium's bytes
        double randomBytesPerSecond = 16000;
    };

    LiveStream(QTcpSocket *socket, const MediaAsset *asset, Options options, QObject *parent = nullptr);

    void start();
    qint64 elapsedMs() const { return m_clock.elapsed(); }

Q_SIGNALS:
    void finished();

private:
    void tick();
    QByteArray take(qint64 count);
    void finish();

    QPointer<QTcpSocket> m_socket;
    const MediaAsset *m_asset;
    Options m_options;
    double m_bytesPerSecond;
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_sent = 0; // source bytes, without metadata
    QByteArray m_current;
    qsizetype m_pos = 0;
    quint32 m_loop = 0;
    bool m_headSent = false;
    qint64 m_stalledSince = -1;
};
