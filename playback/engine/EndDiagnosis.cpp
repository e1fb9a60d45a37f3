#include "EndDiagnosis.h"

#include <utility>

#include "AddressPolicy.h"
#include "FailureReason.h"

EndDiagnosis::EndDiagnosis(double networkTimeoutSeconds)
    : m_networkTimeoutSeconds(networkTimeoutSeconds)
{
}

void EndDiagnosis::opened()
{
    m_lines.clear();
    m_sinceOpen.start();
}

void EndDiagnosis::logged(const QString &prefix, const QString &text)
{
    if (m_lines.size() >= kMaxLines)
        m_lines.removeFirst();
    m_lines.append(prefix + QLatin1String(": ") + text);
}

EndDiagnosis::Verdict EndDiagnosis::judge(const End &end, const Stream &stream, qint64 sinceOpenMs) const
{
    switch (end.reason) {
    case MpvCore::EndReason::Redirect:
    case MpvCore::EndReason::Stop:
    case MpvCore::EndReason::Quit:
        return { Outcome::Nothing, Failure() };
    case MpvCore::EndReason::Eof:
    case MpvCore::EndReason::Error:
        break;
    }
    // An address that libmpv cannot read may be a Windows Media playlist
    // served without its extension: look once.
    const bool network = AddressPolicy::isNetwork(stream.address);
    if (!end.wasOpen && !stream.reconnecting && network && !stream.sniffed && end.mpvError == MPV_ERROR_UNKNOWN_FORMAT
        && stream.address.startsWith(QLatin1String("http"), Qt::CaseInsensitive))
        return { Outcome::LookForPlaylist, Failure() };
    const Failure why = failure(end.mpvError, sinceOpenMs);
    // A live network stream cannot be seeked; when it ends it has dropped.
    const bool live = network && !stream.seekable;
    if (live && (end.wasOpen || stream.reconnecting))
        return { Outcome::Reconnect, why };
    if (end.reason == MpvCore::EndReason::Error || !end.wasOpen)
        return { Outcome::Failed, why };
    return { Outcome::Ended, Failure() };
}

Failure EndDiagnosis::failure(int mpvError, qint64 sinceOpenMs) const
{
    const bool timedOut = sinceOpenMs >= 0 && sinceOpenMs >= qint64(m_networkTimeoutSeconds * 900);
    const Failure failure = fromLog(mpvError);
    if (timedOut && failure.kind() == Failure::Kind::CannotOpen)
        return Failure(Failure::Kind::Timeout);
    return failure;
}

Failure EndDiagnosis::fromLog(int mpvError) const
{
    return FailureReason::describe(m_lines, mpvError);
}

Failure EndDiagnosis::openTimedOut() const
{
    return m_lines.isEmpty() ? FailureReason::describe({}, MPV_ERROR_UNKNOWN_FORMAT)
                             : FailureReason::describe(m_lines, MPV_ERROR_LOADING_FAILED);
}
