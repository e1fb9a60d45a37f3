// libFuzzer target: arbitrary bytes as the answer to a playlist request,
// through what the player layer does with it (PlaybackController): sniff it
// with AsxPlaylist::looksLikePlaylist, pick the references out with
// AsxPlaylist::references against the address it came from, and classify
// every reference with AddressPolicy. PLS and M3U answers are read by libmpv
// itself; what is ours there is the sniffing (they must not pass for
// Windows Media playlists) and the address policy, so every M3U line and
// every PLS "FileN=" value is classified as well.
//
// The first byte picks the address the answer came from (its two low bits;
// with 3 the base is the input's first line, so that odd bases are fuzzed
// too). With its three high bits set, the answer is repeated up to the most
// the player reads (AsxPlaylist::kMaxBytes), so that a reading that grows
// faster than its input shows up as a hang (-timeout) within a short -max_len.

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "AddressPolicy.h"
#include "AsxPlaylist.h"

namespace {

[[noreturn]] void fail(const char *what, const QString &detail = {})
{
    std::fprintf(stderr, "playlist fuzz check failed: %s %s\n", what, qPrintable(detail));
    std::abort();
}

void check(bool condition, const char *what, const QString &detail = {})
{
    if (!condition) {
        fail(what, detail);
    }
}

const QStringList kNetworkSchemes = {
    QStringLiteral("http"),
    QStringLiteral("https"),
    QStringLiteral("mms"),
    QStringLiteral("mmsh"),
    QStringLiteral("mmst"),
    QStringLiteral("rtsp"),
    QStringLiteral("rtsps"),
    QStringLiteral("rtmp"),
    QStringLiteral("rtmpe"),
    QStringLiteral("rtmps"),
    QStringLiteral("rtmpt"),
    QStringLiteral("rtmpte"),
    QStringLiteral("rtmpts"),
    QStringLiteral("rtp"),
    QStringLiteral("udp"),
    QStringLiteral("srt"),
};

// Whatever the address, the verdict is whole and consistent, and only the
// named network schemes count as network streams.
void checkAddress(const QString &address)
{
    const AddressPolicy::Verdict verdict = AddressPolicy::classify(address);
    check(verdict.kind == AddressPolicy::Kind::Network || verdict.kind == AddressPolicy::Kind::LocalFile
            || verdict.kind == AddressPolicy::Kind::Refused,
        "a known verdict", address);
    check(AddressPolicy::isNetwork(address) == (verdict.kind == AddressPolicy::Kind::Network),
        "isNetwork agrees with classify", address);
    check((verdict.kind == AddressPolicy::Kind::Refused) == (verdict.refusal.kind() == Failure::Kind::RefusedAddress),
        "a refusal exactly for a refused address", address);
    if (verdict.kind == AddressPolicy::Kind::Network) {
        const qsizetype colon = address.indexOf(u':');
        check(colon > 0 && kNetworkSchemes.contains(address.left(colon), Qt::CaseInsensitive),
            "network only for a network scheme", address);
    }
    AsxPlaylist::isPlaylistAddress(address);
}

// The addresses libmpv would read out of a PLS or M3U answer.
QStringList plsAndM3uEntries(const QString &text)
{
    QStringList entries;
    for (QString line : text.split(u'\n')) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(u'#') || line.startsWith(u'[')) {
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (line.startsWith(QLatin1String("file"), Qt::CaseInsensitive) && equals > 0) {
            entries.append(line.mid(equals + 1).trimmed());
        } else {
            entries.append(line);
        }
    }
    return entries;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0) {
        return 0;
    }
    QByteArray content(reinterpret_cast<const char *>(data) + 1, qsizetype(size - 1));
    QString base;
    switch (data[0] % 4) {
    case 0:
        break;
    case 1:
        base = QStringLiteral("http://127.0.0.1:8931/dir/list.asx");
        break;
    case 2:
        base = QStringLiteral("mms://h/a b/%E4%B8%AD.asx?x=1#f");
        break;
    default: {
        const qsizetype newline = content.indexOf('\n');
        base = QString::fromUtf8(content.left(newline < 0 ? content.size() : newline));
        content = content.mid(newline < 0 ? content.size() : newline + 1);
    }
    }

    if ((data[0] & 0xE0) == 0xE0 && !content.isEmpty()) {
        QByteArray repeated;
        repeated.reserve(AsxPlaylist::kMaxBytes);
        while (repeated.size() + content.size() <= AsxPlaylist::kMaxBytes) {
            repeated += content;
        }
        content = repeated.isEmpty() ? content : repeated;
    }

    const bool playlist = AsxPlaylist::looksLikePlaylist(content);
    // A byte-order mark in front changes nothing.
    if (!content.startsWith("\xEF\xBB\xBF")) {
        const QByteArray marked = "\xEF\xBB\xBF" + content;
        check(AsxPlaylist::looksLikePlaylist(marked) == playlist, "sniffing ignores a byte-order mark");
    }
    const QString text = QString::fromUtf8(content);
    if (text.trimmed().startsWith(QLatin1String("[playlist]"), Qt::CaseInsensitive)
        || text.trimmed().startsWith(QLatin1String("#EXTM3U"), Qt::CaseInsensitive)) {
        check(!playlist, "PLS and M3U are left to libmpv");
    }

    // The player asks for references only of what passed the sniffing; the
    // parser must still hold up on anything.
    const QStringList refs = AsxPlaylist::references(content, base);
    check(refs.size() <= content.size(), "at most one reference per byte");
    for (const QString &ref : refs) {
        checkAddress(ref);
    }
    for (const QString &entry : plsAndM3uEntries(text)) {
        checkAddress(entry);
    }
    checkAddress(base);
    return 0;
}
