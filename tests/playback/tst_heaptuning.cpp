// The allocator gives a stream's large buffers back when they are freed,
// even when small blocks allocated alongside them stay alive, as the
// engine's long-lived state does between streams.

#include <cstdlib>
#include <cstring>
#include <vector>

#include <QFile>
#include <QTest>

#include "HeapTuning.h"

namespace {

long anonymousKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("RssAnon:"))
            return line.mid(8).trimmed().split(' ').first().toLong();
    }
    return -1;
}

// A block the compiler cannot leave out, filled so that it is resident.
void *volatile g_escaped;
void *residentBlock(std::size_t bytes)
{
    void *p = std::malloc(bytes);
    std::memset(p, 1, bytes);
    g_escaped = p;
    return p;
}

bool underAddressSanitizer()
{
#if defined(__SANITIZE_ADDRESS__)
    return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    return true;
#endif
#endif
    return false;
}

} // namespace

class HeapTuningTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void largeBuffersGoBackWhenFreed()
    {
        if (underAddressSanitizer())
            QSKIP("AddressSanitizer brings its own allocator");
        QVERIFY(HeapTuning::returnLargeBuffersWhenFreed());

        // One stream's worth of large buffers comes and goes first: left to
        // itself, glibc would now serve blocks of this size from the heap.
        constexpr std::size_t kBig = 4 * 1024 * 1024;
        std::free(residentBlock(kBig));

        const long before = anonymousKiB();
        std::vector<void *> big, small;
        for (int i = 0; i < 16; ++i) {
            big.push_back(residentBlock(kBig));
            small.push_back(residentBlock(96 * 1024));
        }
        QVERIFY(anonymousKiB() - before > 60 * 1024);
        for (void *p : big)
            std::free(p);
        const long after = anonymousKiB();
        for (void *p : small)
            std::free(p);
        QVERIFY2(after - before < 4 * 1024, qPrintable(QStringLiteral("%1 KiB kept").arg(after - before)));
    }
};

QTEST_GUILESS_MAIN(HeapTuningTest)
#include "tst_heaptuning.moc"
