#pragma once

#include <QByteArray>
#include <QList>

// The MPEG audio frames of an MP3 file, found by walking their headers: an
// ID3v2 tag in front and a Xing/Info frame are left out, so that the frames
// can be sent one by one (RTP) and looped without a silent frame at the seam.
class Mp3Frames
{
public:
    explicit Mp3Frames(const QByteArray &file);

    bool isValid() const { return !m_frames.isEmpty() && m_sampleRate > 0; }
    const QList<QByteArray> &frames() const { return m_frames; }
    int sampleRate() const { return m_sampleRate; }
    int samplesPerFrame() const { return m_samplesPerFrame; }

    // Length in bytes of the frame whose header starts at `p`, or 0 when it is none.
    static int frameLength(const uchar *p, int *sampleRate = nullptr, int *samples = nullptr);

private:
    QList<QByteArray> m_frames;
    int m_sampleRate = 0;
    int m_samplesPerFrame = 0;
};
