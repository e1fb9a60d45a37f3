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

    explicit IcyMetadata(TitleSource title, Mode mode = Mode::OnChange, int metaint = kMetaInt);

    // Interleaves audio with blocks; calls are cumulative over one connection.
    QByteArray interleave(const QByteArray &audio);

    static QByteArray block(const QString &title);
    static QByteArray hugeBlock(const QString &title);

private:
    TitleSource m_title;
    Mode m_mode;
    int m_metaint;
    int m_untilBlock;
    QString m_lastTitle;
    bool m_sentAny = false;
};
