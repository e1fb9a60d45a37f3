#include "RtspSession.h"

#include <QRandomGenerator>
#include <QTcpSocket>
#include <QUrl>
#include <QtEndian>

#include "DemoServerLog.h"
#include "Mp3Frames.h"
#include "RtspServer.h"

namespace {

constexpr int kTickMs = 20;
constexpr qint64 kBurstMs = 1000;
constexpr qint64 kMaxPendingBytes = 256 * 1024;
constexpr qint64 kStallLimitMs = 30 * 1000;
constexpr int kRtpClock = 90000; // RFC 2250: MPEG audio timestamps count at 90 kHz
constexpr int kPayloadType = 14;
constexpr int kIdleLimitMs = 10 * 1000; // before PLAY; afterwards the stream keeps it alive

QByteArray reasonFor(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 400:
        return "Bad Request";
    case 404:
        return "Not Found";
    case 454:
        return "Session Not Found";
    case 455:
        return "Method Not Valid in This State";
    case 461:
        return "Unsupported Transport";
    case 501:
        return "Not Implemented";
    default:
        return "Error";
    }
}

} // namespace

RtspSession::RtspSession(QTcpSocket *socket, RtspServer *server)
    : QObject(server)
    , m_socket(socket)
    , m_server(server)
{
    m_socket->setParent(this);
    m_ssrc = QRandomGenerator::global()->generate();
    m_sequence = quint16(QRandomGenerator::global()->bounded(0x10000));
    m_timestampBase = QRandomGenerator::global()->generate();
    m_idle.setSingleShot(true);
    connect(&m_idle, &QTimer::timeout, this, [this] { m_socket->abort(); });
    m_idle.start(kIdleLimitMs);
    m_timer.setInterval(kTickMs);
    connect(&m_timer, &QTimer::timeout, this, &RtspSession::tick);
    connect(m_socket, &QTcpSocket::readyRead, this, &RtspSession::readSocket);
    connect(m_socket, &QTcpSocket::disconnected, this, &RtspSession::close);
    connect(m_socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError) {
        if (m_socket->state() != QAbstractSocket::ConnectedState)
            close();
    });
}

void RtspSession::close()
{
    m_timer.stop();
    m_idle.stop();
    deleteLater();
}

void RtspSession::readSocket()
{
    m_buffer += m_socket->readAll();
    for (;;) {
        if (m_buffer.isEmpty())
            return;
        if (m_buffer.at(0) == '$') {
            // Interleaved RTCP receiver reports from the client: read and forget.
            if (m_buffer.size() < 4)
                return;
            const qsizetype length = 4 + qFromBigEndian<quint16>(m_buffer.constData() + 2);
            if (m_buffer.size() < length)
                return;
            m_buffer.remove(0, length);
            continue;
        }
        const qsizetype end = m_buffer.indexOf("\r\n\r\n");
        if (end < 0) {
            if (m_buffer.size() > kMaxRequestBytes)
                m_socket->abort();
            return;
        }
        Request request;
        const QList<QByteArray> lines = m_buffer.left(end).split('\n');
        const QList<QByteArray> first = lines.first().trimmed().split(' ');
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const QByteArray line = lines.at(i).trimmed();
            const qsizetype colon = line.indexOf(':');
            if (colon > 0)
                request.headers.insert(line.left(colon).trimmed().toLower(), line.mid(colon + 1).trimmed());
        }
        const qsizetype bodyLength = request.headers.value("content-length").toLongLong();
        if (bodyLength < 0 || bodyLength > kMaxRequestBytes) {
            m_socket->abort();
            return;
        }
        if (m_buffer.size() < end + 4 + bodyLength)
            return;
        m_buffer.remove(0, end + 4 + bodyLength);
        if (first.size() != 3 || !first.at(2).startsWith("RTSP/1.")) {
            answer(request, 400);
            m_socket->disconnectFromHost();
            return;
        }
        request.method = first.at(0);
        request.url = first.at(1);
        request.path = QUrl(QString::fromUtf8(request.url)).path().toUtf8();
        handle(request);
        if (m_socket->state() != QAbstractSocket::ConnectedState)
            return;
    }
}

void RtspSession::answer(const Request &request, int status, const QList<QPair<QByteArray, QByteArray>> &headers,
    const QByteArray &contentType, const QByteArray &body)
{
    qCInfo(lcDemoServer).noquote() << "RTSP" << QString::fromUtf8(request.method) << QString::fromUtf8(request.url)
                                   << status;
    QByteArray out = "RTSP/1.0 " + QByteArray::number(status) + ' ' + reasonFor(status) + "\r\n";
    out += "CSeq: " + request.headers.value("cseq", "0") + "\r\n";
    out += "Server: lumora-demo-server\r\n";
    if (!m_sessionId.isEmpty())
        out += "Session: " + m_sessionId + ";timeout=" + QByteArray::number(kSessionTimeoutSeconds) + "\r\n";
    for (const auto &[name, value] : headers)
        out += name + ": " + value + "\r\n";
    if (!contentType.isEmpty())
        out += "Content-Type: " + contentType + "\r\n";
    if (!body.isEmpty())
        out += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    out += "\r\n" + body;
    m_socket->write(out);
}

void RtspSession::handle(const Request &request)
{
    if (!request.headers.contains("cseq")) {
        answer(request, 400);
        return;
    }
    const QByteArray &method = request.method;
    if (method == "OPTIONS") {
        answer(
            request, 200, { { "Public", "OPTIONS, DESCRIBE, SETUP, PLAY, TEARDOWN, GET_PARAMETER, SET_PARAMETER" } });
        return;
    }
    if (method == "GET_PARAMETER" || method == "SET_PARAMETER") {
        answer(request, 200);
        return;
    }
    if (method == "DESCRIBE") {
        std::shared_ptr<const Mp3Frames> station = m_server->station(QString::fromUtf8(request.path));
        if (!station) {
            answer(request, 404);
            return;
        }
        QByteArray base = request.url;
        if (!base.endsWith('/'))
            base += '/';
        const QByteArray sdp = "v=0\r\n"
                               "o=- 0 0 IN IP4 127.0.0.1\r\n"
                               "s=Lumora demo radio\r\n"
                               "c=IN IP4 0.0.0.0\r\n"
                               "t=0 0\r\n"
                               "a=tool:lumora-demo-server\r\n"
                               "a=control:*\r\n"
                               "m=audio 0 RTP/AVP 14\r\n"
                               "a=rtpmap:14 MPA/90000\r\n"
                               "a=control:trackID=0\r\n";
        answer(request, 200, { { "Content-Base", base } }, "application/sdp", sdp);
        return;
    }
    if (method == "SETUP") {
        // The track address is the stream's own with "/trackID=0" after it.
        QByteArray path = request.path;
        if (path.endsWith("/trackID=0"))
            path.chop(int(sizeof("/trackID=0") - 1));
        std::shared_ptr<const Mp3Frames> station = m_server->station(QString::fromUtf8(path));
        if (!station) {
            answer(request, 404);
            return;
        }
        if (m_playing) {
            answer(request, 455);
            return;
        }
        const QByteArray transport = request.headers.value("transport");
        QByteArray chosen;
        for (const QByteArray &option : transport.split(',')) {
            if (option.trimmed().startsWith("RTP/AVP/TCP")) {
                chosen = option.trimmed();
                break;
            }
        }
        if (chosen.isEmpty()) {
            answer(request, 461);
            return;
        }
        m_rtpChannel = 0;
        for (const QByteArray &parameter : chosen.split(';')) {
            if (parameter.startsWith("interleaved="))
                m_rtpChannel = qBound(0, parameter.mid(12).split('-').first().toInt(), 254);
        }
        m_station = station;
        m_trackUrl = request.url;
        if (m_sessionId.isEmpty())
            m_sessionId = QByteArray::number(QRandomGenerator::global()->bounded(10000000, 99999999));
        const QByteArray reply = "RTP/AVP/TCP;unicast;interleaved=" + QByteArray::number(m_rtpChannel) + '-'
            + QByteArray::number(m_rtpChannel + 1) + ";ssrc=" + QByteArray::number(m_ssrc, 16).toUpper();
        answer(request, 200, { { "Transport", reply } });
        return;
    }
    if (method == "PLAY" || method == "TEARDOWN") {
        if (!m_station) {
            answer(request, 455);
            return;
        }
        const QByteArray session = request.headers.value("session").split(';').first().trimmed();
        if (session != m_sessionId) {
            answer(request, 454);
            return;
        }
        if (method == "TEARDOWN") {
            answer(request, 200);
            m_timer.stop();
            m_socket->disconnectFromHost();
            return;
        }
        const quint32 rtpTime = m_timestampBase + quint32(m_samplesSent * kRtpClock / m_station->sampleRate());
        answer(request, 200,
            { { "Range", "npt=0.000-" },
                { "RTP-Info",
                    "url=" + m_trackUrl + ";seq=" + QByteArray::number(m_sequence)
                        + ";rtptime=" + QByteArray::number(rtpTime) } });
        startPlaying();
        return;
    }
    answer(request, 501);
}

void RtspSession::startPlaying()
{
    if (m_playing)
        return;
    m_playing = true;
    m_idle.stop();
    m_clock.start();
    m_timer.start();
    tick();
}

void RtspSession::tick()
{
    if (m_socket->state() != QAbstractSocket::ConnectedState) {
        m_timer.stop();
        return;
    }
    const qint64 elapsed = m_clock.elapsed();
    if (m_socket->bytesToWrite() > kMaxPendingBytes) {
        if (m_stalledSince < 0)
            m_stalledSince = elapsed;
        if (elapsed - m_stalledSince > kStallLimitMs)
            m_socket->abort();
        return;
    }
    m_stalledSince = -1;
    const int rate = m_station->sampleRate();
    const qint64 dueSamples = (elapsed + kBurstMs) * rate / 1000;
    // A client that stalled misses what was due meanwhile, as on a live station;
    // the timestamps still advance so that the timeline stays true.
    const qint64 frameSamples = m_station->samplesPerFrame();
    const qint64 maxBehind = kBurstMs * rate / 1000;
    while (dueSamples - m_samplesSent > maxBehind + frameSamples) {
        m_samplesSent += frameSamples;
        ++m_sequence;
        m_frame = (m_frame + 1) % m_station->frames().size();
    }
    while (m_samplesSent + frameSamples <= dueSamples)
        sendFrame();
}

void RtspSession::sendFrame()
{
    const QByteArray &frame = m_station->frames().at(m_frame);
    m_frame = (m_frame + 1) % m_station->frames().size();
    const quint32 timestamp = m_timestampBase + quint32(m_samplesSent * kRtpClock / m_station->sampleRate());
    const int rtpLength = 12 + 4 + int(frame.size());
    QByteArray packet(4 + 12 + 4, '\0');
    uchar *p = reinterpret_cast<uchar *>(packet.data());
    p[0] = '$';
    p[1] = uchar(m_rtpChannel);
    qToBigEndian<quint16>(quint16(rtpLength), p + 2);
    p[4] = 0x80; // version 2
    p[5] = kPayloadType;
    qToBigEndian<quint16>(m_sequence, p + 6);
    qToBigEndian<quint32>(timestamp, p + 8);
    qToBigEndian<quint32>(m_ssrc, p + 12);
    // p[16..19]: the MPEG audio header of RFC 2250, zero for whole frames.
    packet += frame;
    m_socket->write(packet);
    ++m_sequence;
    m_samplesSent += m_station->samplesPerFrame();
}
