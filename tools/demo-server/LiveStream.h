#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <functional>
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
        double burstSeconds = 1.5;
        std::shared_ptr<IcyMetadata> icy; // null: plain audio
    };

    // Makes the stream a connection serves; a plain LiveStream where none is given.
    using Maker = std::function<LiveStream *(QTcpSocket *socket, const MediaAsset *asset, Options options,
                                             QObject *parent)>;

    LiveStream(QTcpSocket *socket, const MediaAsset *asset, Options options, QObject *parent = nullptr);

    void start();
    // Closes the connection once what was written has gone, as a station that goes off air.
    void end();
    qint64 elapsedMs() const { return m_clock.elapsed(); }

Q_SIGNALS:
    void finished();

protected:
    // The rate the stream is paced at, read once at the start: the medium's own.
    virtual double bytesPerSecond() const;
    // The next `count` bytes of what the stream carries.
    virtual QByteArray take(qint64 count);
    const MediaAsset *asset() const { return m_asset; }

private:
    void tick();
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
