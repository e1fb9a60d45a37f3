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

    enum class Mode {
        OnChange, // the title when it changed, an empty block otherwise, as the usual servers do
        Huge,     // a block of the largest size every time, to stress readers
    };

    // How the title's text goes into the block: UTF-8, or GB18030 (GBK for
    // Chinese text) as many Chinese servers send it.
    enum class Encoding { Utf8, Gb18030 };

    explicit IcyMetadata(TitleSource title, Mode mode = Mode::OnChange, int metaint = kMetaInt,
                         Encoding encoding = Encoding::Utf8);

    // Interleaves audio with blocks; calls are cumulative over one connection.
    QByteArray interleave(const QByteArray &audio);

    static QByteArray block(const QString &title, Encoding encoding = Encoding::Utf8);
    static QByteArray encode(const QString &title, Encoding encoding);
    static QByteArray hugeBlock(const QString &title);

private:
    TitleSource m_title;
    Mode m_mode;
    int m_metaint;
    Encoding m_encoding;
    int m_untilBlock;
    QString m_lastTitle;
    bool m_sentAny = false;
};
