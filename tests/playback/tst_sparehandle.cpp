#include <memory>

#include <QSignalSpy>
#include <QTest>
#include <QThreadPool>

#include "MpvCore.h"
#include "MpvHandles.h"
#include "MpvLibrary.h"
#include "SpareHandle.h"

namespace {

constexpr int kMakeTimeoutMs = 20000;

MpvCore::Options nullOutput()
{
    MpvCore::Options options;
    options.audioOutput = QStringLiteral("null");
    return options;
}

// Whatever the workers were making or ending is done.
void settle()
{
    MpvHandles::workers()->waitForDone();
    QCoreApplication::processEvents();
    MpvHandles::workers()->waitForDone();
}

}

// The spare libmpv handle: made on a worker, one at a time, ended when nobody
// takes it, and taken over by the core with what the old handle was given.
class TestSpareHandle : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void madeOneAtATime();
    void endedWhenNobodyTakesIt();
    void endedWhenItsOwnerIsGone();
    void theCoreGoesOnWithIt();
    void isolatedOptions();

private:
    const MpvApi *m_api = nullptr;
};

void TestSpareHandle::initTestCase()
{
    m_api = MpvLibrary::load();
    QVERIFY2(m_api, qPrintable(MpvLibrary::error()));
    qRegisterMetaType<mpv_handle *>();
}

void TestSpareHandle::madeOneAtATime()
{
    const int before = MpvHandles::alive();
    SpareHandle spare(m_api, nullOutput());
    QVERIFY(!spare.isReady());
    QVERIFY(!spare.take());
    spare.prepare();
    spare.prepare();
    QTRY_VERIFY_WITH_TIMEOUT(spare.isReady(), kMakeTimeoutMs);
    spare.prepare();
    settle();
    QCOMPARE(MpvHandles::alive(), before + 1);

    mpv_handle *mpv = spare.take();
    QVERIFY(mpv);
    QVERIFY(!spare.isReady());
    MpvHandles::destroy(m_api, mpv);
    QCOMPARE(MpvHandles::alive(), before);
}

void TestSpareHandle::endedWhenNobodyTakesIt()
{
    const int before = MpvHandles::alive();
    {
        SpareHandle spare(m_api, nullOutput());
        spare.prepare();
        QTRY_VERIFY_WITH_TIMEOUT(spare.isReady(), kMakeTimeoutMs);
        QCOMPARE(MpvHandles::alive(), before + 1);
    }
    QTRY_COMPARE_WITH_TIMEOUT(MpvHandles::alive(), before, kMakeTimeoutMs);
}

void TestSpareHandle::endedWhenItsOwnerIsGone()
{
    const int before = MpvHandles::alive();
    auto spare = std::make_unique<SpareHandle>(m_api, nullOutput());
    spare->prepare();
    spare.reset();
    settle();
    QTRY_COMPARE_WITH_TIMEOUT(MpvHandles::alive(), before, kMakeTimeoutMs);
}

void TestSpareHandle::theCoreGoesOnWithIt()
{
    MpvCore core(nullOutput());
    QVERIFY2(core.isValid(), qPrintable(core.initError()));
    QVERIFY(!core.hasSpare());
    QVERIFY(!core.switchToSpare());
    core.setProperty("volume", 37.0);
    core.observe("volume", MPV_FORMAT_DOUBLE);
    core.prepareSpare();
    QTRY_VERIFY_WITH_TIMEOUT(core.hasSpare(), kMakeTimeoutMs);

    mpv_handle *old = core.handle();
    QSignalSpy replaced(&core, &MpvCore::engineReplaced);
    QSignalSpy changed(&core, &MpvCore::propertyChanged);
    QVERIFY(core.switchToSpare());
    QCOMPARE(replaced.size(), 1);
    QVERIFY(core.handle() != old);
    QCOMPARE(replaced.first().at(0).value<mpv_handle *>(), core.handle());
    // The new handle is observed and set as the old one was.
    QTRY_VERIFY_WITH_TIMEOUT(std::any_of(changed.cbegin(), changed.cend(),
                                 [](const QList<QVariant> &args) {
                                     return args.at(0).toString() == QLatin1String("volume")
                                         && args.at(1).toDouble() == 37.0;
                                 }),
        kMakeTimeoutMs);
    // And the next spare is on its way.
    QTRY_VERIFY_WITH_TIMEOUT(core.hasSpare(), kMakeTimeoutMs);
}

void TestSpareHandle::isolatedOptions()
{
    QCOMPARE(MpvCore::defaultOption("config"), QByteArray("no"));
    QCOMPARE(MpvCore::defaultOption("demuxer-max-bytes"), QByteArray("4MiB"));
    QCOMPARE(MpvCore::defaultOption("no-such-option"), QByteArray());
}

QTEST_GUILESS_MAIN(TestSpareHandle)
#include "tst_sparehandle.moc"
