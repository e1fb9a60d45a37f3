// A machine where libmpv cannot be loaded: the main window still opens and
// works, and the player says why it cannot play, without a dialog.

#include <QApplication>
#include <QDialog>
#include <QMenu>
#include <QTest>

#include "Form1.h"
#include "MediaPlayer.h"
#include "MenuItemArray.h"
#include "MpvLibrary.h"
#include "PlaybackController.h"
#include "PlayerRig.h"

using State = PlayerState::State;

class TestEngineMissing : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { MpvLibrary::setFileName(QStringLiteral("libmpv-missing.so.2")); }

    void thePlayerSaysWhy()
    {
        PlayerRig rig(PlayerRig::Options{5.0, false});
        QVERIFY(QTest::qWaitFor([&] { return rig.state() == State::Unavailable; }, 10000));
        const QString text = rig.player->statusText();
        QVERIFY2(text.startsWith(QStringLiteral("播放器不可用:")), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("libmpv-missing.so.2")), qPrintable(text));
        QVERIFY(!MpvLibrary::isLoaded());

        // Everything the user can do leaves it so, and nothing crashes.
        rig.player->setURL(QStringLiteral("http://127.0.0.1:9/radio.mp3"));
        rig.player->controller()->togglePause();
        rig.player->controller()->stop();
        rig.player->setURL(QString());
        QCOMPARE(rig.state(), State::Unavailable);
        QCOMPARE(rig.player->statusText(), text);
    }

    void theMainWindowStillWorks()
    {
        Form1 form;
        form.LoadMainWindow();
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        MenuItemArray *tv = form.itemArray(QStringLiteral("tvlist"));
        QVERIFY(tv);
        tv->item(0)->trigger();
        QVERIFY(QTest::qWaitFor([&] { return form.player()->statusText().startsWith(QStringLiteral("播放器不可用:")); },
                                10000));
        QVERIFY(form.windowState().testFlag(Qt::WindowMaximized));
        QVERIFY2(form.windowTitle().contains(QStringLiteral(" 正在播放:")), qPrintable(form.windowTitle()));
        for (QWidget *w : QApplication::topLevelWidgets())
            QVERIFY(!(qobject_cast<QDialog *>(w) && w->isVisible()));
    }
};

QTEST_MAIN(TestEngineMissing)
#include "tst_enginemissing.moc"
