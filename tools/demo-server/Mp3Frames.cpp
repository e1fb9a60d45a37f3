#include "Mp3Frames.h"

namespace {

// kbit/s by [MPEG-1?][layer 1..3][index]
const int kBitrates[2][3][16] = {
    { { 0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0 },
        { 0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0 },
        { 0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0 } },
    { { 0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0 },
        { 0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0 },
        { 0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0 } },
};
const int kSampleRates[3] = { 44100, 48000, 32000 };

} // namespace

int Mp3Frames::frameLength(const uchar *p, int *sampleRate, int *samples)
{
    if (p[0] != 0xff || (p[1] & 0xe0) != 0xe0)
        return 0;
    const int version = (p[1] >> 3) & 0x03; // 3: MPEG-1, 2: MPEG-2, 0: MPEG-2.5
    const int layer = 4 - ((p[1] >> 1) & 0x03);
    const int bitrateIndex = p[2] >> 4;
    const int rateIndex = (p[2] >> 2) & 0x03;
    const int padding = (p[2] >> 1) & 0x01;
    if (version == 1 || layer == 4 || rateIndex == 3)
        return 0;
    const bool mpeg1 = version == 3;
    const int kbps = kBitrates[mpeg1 ? 1 : 0][layer - 1][bitrateIndex];
    if (kbps == 0)
        return 0;
    const int rate = kSampleRates[rateIndex] >> (mpeg1 ? 0 : version == 2 ? 1 : 2);
    const int count = layer == 1 ? 384 : (layer == 3 && !mpeg1) ? 576 : 1152;
    if (sampleRate)
        *sampleRate = rate;
    if (samples)
        *samples = count;
    if (layer == 1)
        return (12 * kbps * 1000 / rate + padding) * 4;
    return count / 8 * kbps * 1000 / rate + padding;
}

Mp3Frames::Mp3Frames(const QByteArray &file)
{
    const auto *data = reinterpret_cast<const uchar *>(file.constData());
    const qsizetype size = file.size();
    qsizetype pos = 0;
    if (size >= 10 && file.startsWith("ID3")) {
        const qsizetype tag = (qsizetype(data[6] & 0x7f) << 21) | (qsizetype(data[7] & 0x7f) << 14)
            | (qsizetype(data[8] & 0x7f) << 7) | qsizetype(data[9] & 0x7f);
        pos = 10 + tag + ((data[5] & 0x10) ? 10 : 0);
    }
    while (pos + 4 <= size) {
        int rate = 0;
        int samples = 0;
        const int length = frameLength(data + pos, &rate, &samples);
        if (length < 4) {
            ++pos; // resynchronise
            continue;
        }
        if (pos + length > size)
            break;
        const QByteArray frame = file.mid(pos, length);
        pos += length;
        const bool infoFrame = m_frames.isEmpty() && (frame.indexOf("Xing") >= 0 || frame.indexOf("Info") >= 0);
        if (infoFrame)
            continue;
        if (m_sampleRate == 0) {
            m_sampleRate = rate;
            m_samplesPerFrame = samples;
        } else if (rate != m_sampleRate || samples != m_samplesPerFrame) {
            continue; // a stray sync pattern; the stream keeps one format
        }
        m_frames.append(frame);
    }
}
