#pragma once

#include <QByteArray>

class AsfBroadcast;

// The framing of Windows Media over HTTP: every piece of the ASF stream goes
// in a chunk with a 4-byte basic header (type "$H", "$D", "$E"; length, both
// little-endian) and an 8-byte extended header (sequence number, two flag
// bytes, the length again). The length counts the extended header and the
// payload. One data chunk carries exactly one ASF packet.
namespace MmshFraming {

constexpr int kChunkHeaderBytes = 12;

QByteArray chunk(char type, quint32 sequence, const QByteArray &payload);
// The ASF header as a "$H" chunk, sequence 0.
QByteArray headerChunk(const AsfBroadcast &asf);
// Pass `loop` of the data packets as "$D" chunks whose sequence numbers run on
// from the passes before, so that a client never sees them start again.
QByteArray dataChunks(const AsfBroadcast &asf, quint32 loop);

} // namespace MmshFraming
