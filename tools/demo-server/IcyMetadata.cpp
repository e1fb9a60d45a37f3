#include "IcyMetadata.h"

#include <QStringEncoder>

IcyMetadata::IcyMetadata(TitleSource title, int metaint, Encoding encoding)
    : m_title(std::move(title))
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
            out += nextBlock(title, !m_sentAny || title != m_lastTitle);
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

QByteArray IcyMetadata::nextBlock(const QString &title, bool changed)
{
    return changed ? block(title, m_encoding) : QByteArray(1, '\0');
}

QByteArray IcyMetadata::block(const QString &title, Encoding encoding)
{
    const QByteArray open = "StreamTitle='";
    const QByteArray close = "';";
    QByteArray text = encode(title, encoding);
    if (open.size() + text.size() + close.size() > kMaxBlockBytes) {
        QString cut = title;
        while (!cut.isEmpty() && open.size() + encode(cut, encoding).size() + close.size() > kMaxBlockBytes)
            cut.chop(cut.size() > 1 && cut.at(cut.size() - 1).isLowSurrogate() ? 2 : 1);
        text = encode(cut, encoding);
    }
    text = open + text + close;
    const int units = int((text.size() + 15) / 16);
    text.append(QByteArray(units * 16 - text.size(), '\0'));
    return char(units) + text;
}
