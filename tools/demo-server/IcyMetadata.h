#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

// Shoutcast/Icecast in-band metadata: after every `metaint` bytes of audio one
// block follows, a length byte (in units of 16) and that many bytes holding
// "StreamTitle='...';" padded with NULs.
class IcyMetadata
{
public:
    static constexpr int kMetaInt = 16000;
    static constexpr int kMaxBlockBytes = 255 * 16;

    using TitleSource = std::function<QString()>;

    // How the title's text goes into the block: UTF-8, or GB18030 (GBK for
    // Chinese text) as many Chinese servers send it.
    enum class Encoding { Utf8, Gb18030 };

    // The title goes out when it changed, an empty block otherwise, as the usual servers do.
    explicit IcyMetadata(TitleSource title, int metaint = kMetaInt, Encoding encoding = Encoding::Utf8);
    virtual ~IcyMetadata() = default;

    const TitleSource &titleSource() const { return m_title; }

    // Interleaves audio with blocks; calls are cumulative over one connection.
    QByteArray interleave(const QByteArray &audio);

    // A block holding the title; one too long for a block is cut at a whole character.
    static QByteArray block(const QString &title, Encoding encoding = Encoding::Utf8);
    static QByteArray encode(const QString &title, Encoding encoding);

protected:
    // The block that follows the next `metaint` bytes of audio.
    virtual QByteArray nextBlock(const QString &title, bool changed);

private:
    TitleSource m_title;
    int m_metaint;
    Encoding m_encoding;
    int m_untilBlock;
    QString m_lastTitle;
    bool m_sentAny = false;
};
