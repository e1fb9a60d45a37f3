#include <QAccessible>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

#include "ControlBar.h"
#include "ControlIcon.h"

namespace {

QImage drawn(const QIcon &icon, qreal scale = 1.0)
{
    return icon.pixmap(QSize(16, 16), scale).toImage().convertToFormat(QImage::Format_ARGB32);
}

int inkedPixels(const QImage &image)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += qAlpha(image.pixel(x, y)) > 128;
    return n;
}

} // namespace

// The control bar's buttons show the state they are given, drawn by the
// program itself, and change only when the state does.
class TestControlBar : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void shapesAreDistinctAndSharpAtEveryScale()
    {
        const ControlIcon::Shape shapes[] = { ControlIcon::Shape::Play, ControlIcon::Shape::Pause,
                                              ControlIcon::Shape::Stop, ControlIcon::Shape::Volume,
                                              ControlIcon::Shape::Muted, ControlIcon::Shape::History,
                                              ControlIcon::Shape::Record, ControlIcon::Shape::Recording };
        QList<QImage> images;
        for (ControlIcon::Shape shape : shapes) {
            const QImage one = drawn(ControlIcon::icon(shape));
            QCOMPARE(one.size(), QSize(16, 16));
            QVERIFY(inkedPixels(one) > 10);
            QVERIFY(!images.contains(one));
            images.append(one);
            // At twice the density the pixmap has twice the pixels, not a
            // 16-pixel picture blown up.
            const QPixmap sharp = ControlIcon::icon(shape).pixmap(QSize(16, 16), 2.0);
            QCOMPARE(sharp.size(), QSize(32, 32));
            QCOMPARE(sharp.devicePixelRatio(), 2.0);
            QVERIFY(inkedPixels(sharp.toImage()) > 3 * inkedPixels(one));
        }
    }

    void buttonsFollowTheState()
    {
        ControlBar bar;
        auto *playPause = bar.findChild<QToolButton *>(QStringLiteral("playPause"));
        auto *mute = bar.findChild<QToolButton *>(QStringLiteral("mute"));
        QVERIFY(playPause && mute);

        bar.setPlaying(false);
        QCOMPARE(drawn(playPause->icon()), drawn(ControlIcon::icon(ControlIcon::Shape::Play)));
        QCOMPARE(playPause->accessibleName(), QStringLiteral("播放"));
        bar.setPlaying(true);
        QCOMPARE(drawn(playPause->icon()), drawn(ControlIcon::icon(ControlIcon::Shape::Pause)));
        QCOMPARE(playPause->accessibleName(), QStringLiteral("暂停"));

        // The same state again leaves the button as it is.
        const qint64 key = playPause->icon().cacheKey();
        bar.setPlaying(true);
        QCOMPARE(playPause->icon().cacheKey(), key);

        bar.setMuted(false);
        QCOMPARE(drawn(mute->icon()), drawn(ControlIcon::icon(ControlIcon::Shape::Volume)));
        bar.setMuted(true);
        QVERIFY(mute->isChecked());
        QCOMPARE(drawn(mute->icon()), drawn(ControlIcon::icon(ControlIcon::Shape::Muted)));
        QCOMPARE(mute->accessibleName(), QStringLiteral("取消静音"));
    }

    void aClickThePlayerRefusesIsUndone()
    {
        ControlBar bar;
        auto *mute = bar.findChild<QToolButton *>(QStringLiteral("mute"));
        bar.setMuted(false);
        QSignalSpy asked(&bar, &ControlBar::muteToggled);
        mute->click(); // the button checks itself and asks
        QCOMPARE(asked.count(), 1);
        QVERIFY(mute->isChecked());
        // The player stayed unmuted: the same state again unchecks the button.
        bar.setMuted(false);
        QVERIFY(!mute->isChecked());
        QCOMPARE(drawn(mute->icon()), drawn(ControlIcon::icon(ControlIcon::Shape::Volume)));
    }

    void statusTextIsSetOnlyWhenItChanges()
    {
        ControlBar bar;
        bar.resize(400, 30);
        bar.setStatusText(QStringLiteral("正在播放"));
        QCOMPARE(bar.statusText(), QStringLiteral("正在播放"));
        auto *status = bar.findChild<QWidget *>(QStringLiteral("status"));
        QVERIFY(status);
        QCOMPARE(status->accessibleName(), QStringLiteral("正在播放"));
        status->setAccessibleName(QStringLiteral("marker"));
        bar.setStatusText(QStringLiteral("正在播放"));
        QCOMPARE(status->accessibleName(), QStringLiteral("marker"));
        bar.setStatusText(QStringLiteral("已停止"));
        QCOMPARE(status->accessibleName(), QStringLiteral("已停止"));
    }
};

QTEST_MAIN(TestControlBar)
#include "tst_controlbar.moc"
