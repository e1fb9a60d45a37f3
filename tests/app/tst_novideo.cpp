#include <QApplication>
#include <QLabel>
#include <QTest>

#include "Form1.h"
#include "MediaPlayer.h"
#include "MenuItemArray.h"

// A platform without OpenGL composition (here Qt's offscreen platform, which
// makes GLX contexts all the same when a display is there): the window opens
// and lays out TV, the video area says why there is no picture, and nothing
// crashes when the window is drawn.
class TestNoVideo : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void tvWithoutOpenGL();
};

void TestNoVideo::tvWithoutOpenGL()
{
    MpvCore::Options engine;
    engine.audioOutput = QStringLiteral("null");
    Form1 form(engine);
    form.LoadMainWindow();
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QCOMPARE(form.player()->videoWindow(), nullptr);

    form.itemArray(QStringLiteral("tvlist"))->item(0)->trigger();
    QWidget *area = form.player()->videoArea();
    QTRY_VERIFY(area->isVisible());
    auto *note = qobject_cast<QLabel *>(area);
    QVERIFY(note);
    QCOMPARE(note->text(), QStringLiteral("无法显示视频:没有可用的 OpenGL"));
    QCOMPARE(area->width(), form.player()->width());
    QVERIFY(area->height() > form.player()->height() / 2);
    // Drawn a few times, radio and TV again: still here.
    form.itemArray(QStringLiteral("gblist"))->item(0)->trigger();
    QTRY_VERIFY(!area->isVisible());
    form.itemArray(QStringLiteral("tvlist"))->item(0)->trigger();
    QTRY_VERIFY(area->isVisible());
    QTest::qWait(200);
}

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    TestNoVideo test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_novideo.moc"
