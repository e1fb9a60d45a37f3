#include "IcyMetadata.h"

#include <QStringEncoder>

IcyMetadata::IcyMetadata(TitleSource title, Mode mode, int metaint, Encoding encoding)
    : m_title(std::move(title))
    , m_mode(mode)
    , m_metaint(metaint)
    , m_encoding(encoding)
    , m_untilBlock(metaint)
{
}

QByteArray IcyMetadata::interleave(const QByteArray &audio)
{
    QByteArray out;
    out.reserve(audio.size() + audio.size() / m_metaint * 64 + 64);
    qsizetype pos = 0;
    while (pos < audio.size()) {
        const qsizetype take = qMin<qsizetype>(m_untilBlock, audio.size() - pos);
        out.append(audio.constData() + pos, take);
        pos += take;
        m_untilBlock -= int(take);
        if (m_untilBlock == 0) {
            const QString title = m_title ? m_title() : QString();
            if (m_mode == Mode::Huge) {
                out += hugeBlock(title);
            } else if (!m_sentAny || title != m_lastTitle) {
                out += block(title, m_encoding);
            } else {
                out += '\0';
            }
            m_sentAny = true;
            m_lastTitle = title;
            m_untilBlock = m_metaint;
        }
    }
    return out;
}

QByteArray IcyMetadata::encode(const QString &title, Encoding encoding)
{
    if (encoding == Encoding::Gb18030) {
        QStringEncoder gb18030("GB18030");
        if (gb18030.isValid())
            return gb18030(title);
    }
    return title.toUtf8();
}

QByteArray IcyMetadata::block(const QString &title, Encoding encoding)
{
    QByteArray text = "StreamTitle='" + encode(title, encoding) + "';";
    if (text.size() > kMaxBlockBytes)
        return hugeBlock(title);
    const int units = int((text.size() + 15) / 16);
    text.append(QByteArray(units * 16 - text.size(), '\0'));
    return char(units) + text;
}

QByteArray IcyMetadata::hugeBlock(const QString &title)
{
    // Fill the block up to its last byte with whole UTF-8 characters, so that a
    // reader that handles the length byte wrongly is bound to notice.
    const QByteArray open = "StreamTitle='";
    const QByteArray close = "';";
    QByteArray payload;
    const QString unit = (title.isEmpty() ? QStringLiteral("演示") : title) + QLatin1Char(' ');
    for (int i = 0;; i = (i + 1) % unit.size()) {
        const QByteArray ch = QString(unit.at(i)).toUtf8();
        if (open.size() + payload.size() + ch.size() + close.size() > kMaxBlockBytes)
            break;
        payload += ch;
    }
    QByteArray text = open + payload + close;
    text.append(QByteArray(kMaxBlockBytes - text.size(), '\0'));
    return char(255) + text;
}
