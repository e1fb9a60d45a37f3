#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QLoggingCategory>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>

#include <QSlider>
#include <QToolButton>

#include "ControlBar.h"
#include "DemoServerProcess.h"
#include "Form1.h"
#include "GbkFiles.h"
#include "MediaPlayer.h"
#include "MenuItemArray.h"
#include "MpvVideoWindow.h"
#include "PlaybackController.h"
#include "PlayerKeys.h"
#include "PlayerState.h"
#include "SongHistoryWindow.h"
#include "StreamRecorder.h"

// The main window as a user's desktop treats it: shown and maximised through
// the window manager or the compositor, with the default sound output of the
// session. Run inside tests/session/desktop-session.sh (x11 or wayland).
class TestDesktopWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void tvEntryAfterRadio();
    void tvEntryFirst();
    void placementFollowsScreenDpi();
    void minimisedTvKeepsPlaying();
    void playerKeys();
    void controlsReachableWithTab();

private:
    void select(const QString &array, int index) { m_form->itemArray(array)->item(index)->trigger(); }
    // The window as the window manager left it: maximised to the screen's
    // available area, or back to its own size.
    bool managerMaximised() const;
    qint64 frames() const;
    static bool pictureFillsArea(MpvVideoWindow *video);
    bool playsFor(double seconds, int timeoutMs = 20000);

    DemoServerProcess m_server;
    QTemporaryDir m_dir;
    std::unique_ptr<Form1> m_form;
    bool m_watching = false;
    double m_playbackTime = -1;
};

void TestDesktopWindow::initTestCase()
{
    if (qEnvironmentVariableIsEmpty("LUMORA_SESSION"))
        QSKIP("needs a desktop session: run under tests/session/desktop-session.sh");
    QVERIFY2(m_server.start(), qPrintable(m_server.errorString()));
    QVERIFY(m_dir.isValid());
    QVERIFY(QDir::setCurrent(m_dir.path()));
    QLoggingCategory::setFilterRules(QStringLiteral("lumora.catalogue.warning=false"));
    QVERIFY(GbkFiles::writeLines(QStringLiteral("tv.txt"),
                                 {QStringLiteral("|测试电视|") + m_server.url(QStringLiteral("/tv/1.ts")),
                                  QStringLiteral("|第二电视|") + m_server.url(QStringLiteral("/tv/2.ts"))}));
    QVERIFY(GbkFiles::writeLines(QStringLiteral("gb.txt"),
                                 {QStringLiteral("|测试电台|") + m_server.url(QStringLiteral("/radio/1.mp3"))}));
}

void TestDesktopWindow::init()
{
    m_form = std::make_unique<Form1>();
    m_form->LoadMainWindow();
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
}

void TestDesktopWindow::cleanup()
{
    m_form.reset();
    m_watching = false;
    m_playbackTime = -1;
}

bool TestDesktopWindow::managerMaximised() const
{
    const QRect available = m_form->screen()->availableGeometry();
    return m_form->windowState() & Qt::WindowMaximized && m_form->width() >= available.width() * 9 / 10
           && m_form->height() >= available.height() * 8 / 10;
}

qint64 TestDesktopWindow::frames() const
{
    MpvVideoWindow *video = m_form->player()->videoWindow();
    return video ? video->framesRendered() : 0;
}

bool TestDesktopWindow::playsFor(double seconds, int timeoutMs)
{
    PlaybackController *controller = m_form->player()->controller();
    if (!QTest::qWaitFor([&] { return controller->core() != nullptr; }, timeoutMs))
        return false;
    MpvCore *core = controller->core();
    if (!m_watching) {
        m_watching = true;
        core->observe("playback-time", MPV_FORMAT_DOUBLE);
        connect(core, &MpvCore::propertyChanged, this, [this](const QString &name, const QVariant &v) {
            if (name == QLatin1String("playback-time"))
                m_playbackTime = v.isValid() ? v.toDouble() : -1;
        });
    }
    double first = -1;
    return QTest::qWaitFor(
        [&] {
            if (controller->state().state() != PlayerState::State::Playing || m_playbackTime < 0)
                return false;
            if (first < 0)
                first = m_playbackTime;
            return m_playbackTime >= first + seconds;
        },
        timeoutMs);
}

// A TV entry maximises the window; the window manager answers with a new
// geometry while the video area appears. The window must live through it
// and show the picture.
void TestDesktopWindow::tvEntryAfterRadio()
{
    select(QStringLiteral("gblist"), 0);
    QVERIFY(playsFor(0.5));
    select(QStringLiteral("tvlist"), 0);
    QTRY_VERIFY_WITH_TIMEOUT(managerMaximised(), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(frames() > 10, 20000);
    QVERIFY(playsFor(1.0));

    // Back to radio and to TV again: the same window all the way.
    const WId window = m_form->winId();
    select(QStringLiteral("gblist"), 0);
    QTRY_VERIFY_WITH_TIMEOUT(!(m_form->windowState() & Qt::WindowMaximized), 10000);
    QVERIFY(playsFor(0.5));
    select(QStringLiteral("tvlist"), 1);
    QTRY_VERIFY_WITH_TIMEOUT(managerMaximised(), 10000);
    const qint64 before = frames();
    QTRY_VERIFY_WITH_TIMEOUT(frames() > before + 10, 20000);
    QCOMPARE(m_form->winId(), window);
}

void TestDesktopWindow::tvEntryFirst()
{
    select(QStringLiteral("tvlist"), 0);
    QTRY_VERIFY_WITH_TIMEOUT(managerMaximised(), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(frames() > 10, 20000);
    // The user takes the window out of its maximised state: the player keeps
    // its TV placement and goes on drawing.
    m_form->showNormal();
    QTRY_VERIFY_WITH_TIMEOUT(!(m_form->windowState() & Qt::WindowMaximized), 10000);
    QCOMPARE(m_form->player()->widthTwips(), 15200.f);
    QCOMPARE(m_form->player()->heightTwips(), 10500.f);
    QVERIFY(playsFor(1.0));
}

// Twips become pixels through the screen's DPI: the session's dpi (X11's
// Xft.dpi) or output scale (Wayland) is in LUMORA_SESSION_DPI.
void TestDesktopWindow::placementFollowsScreenDpi()
{
    const double dpi = qEnvironmentVariableIntValue("LUMORA_SESSION_DPI") > 0
                           ? qEnvironmentVariableIntValue("LUMORA_SESSION_DPI")
                           : 96.0;
    MediaPlayer *player = m_form->player();
    const qreal ratio = player->devicePixelRatioF();
    auto devicePixels = [](double twips, double dpi) { return twips * dpi / 1440.0; };

    select(QStringLiteral("gblist"), 0);
    QVERIFY(qAbs(player->width() * ratio - devicePixels(8310, dpi)) <= 2 * ratio);
    QVERIFY(qAbs(player->height() * ratio - devicePixels(975, dpi)) <= 2 * ratio);

    select(QStringLiteral("tvlist"), 0);
    QTRY_VERIFY_WITH_TIMEOUT(managerMaximised(), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(frames() > 5, 20000);
    QVERIFY2(qAbs(player->width() * ratio - devicePixels(15200, dpi)) <= 2 * ratio,
             qPrintable(QStringLiteral("%1 px at ratio %2, dpi %3").arg(player->width()).arg(ratio).arg(dpi)));
    QVERIFY(qAbs(player->height() * ratio - devicePixels(10500, dpi)) <= 2 * ratio);
    // libmpv draws at the device's resolution, not the scaled-down one.
    MpvVideoWindow *video = player->videoWindow();
    const QSize expected = video->size() * video->devicePixelRatio();
    QTRY_COMPARE_WITH_TIMEOUT(video->lastFramebufferSize(), expected, 5000);
    // And the picture fills the area: the 16:9 test picture spans the area's
    // whole width or height and is centred in the other, not drawn into a
    // corner of a scaled output.
    QVERIFY(pictureFillsArea(video));
}

bool TestDesktopWindow::pictureFillsArea(MpvVideoWindow *video)
{
    QRect lit;
    QSize size;
    auto fills = [](int from, int to, int length) { return to - from + 1 >= length * 95 / 100; };
    auto centred = [](int from, int to, int length) { return qAbs(from - (length - 1 - to)) <= length / 20; };
    const bool found = QTest::qWaitFor(
        [&] {
            const QImage frame = video->grabFramebuffer();
            size = frame.size();
            lit = QRect();
            for (int y = 0; y < frame.height(); y += 4) {
                for (int x = 0; x < frame.width(); x += 4) {
                    if (qGray(frame.pixel(x, y)) > 24)
                        lit |= QRect(x, y, 1, 1);
                }
            }
            if (frame.isNull() || lit.isEmpty())
                return false;
            const bool wide = fills(lit.left(), lit.right() + 3, size.width())
                              && centred(lit.top(), lit.bottom() + 3, size.height());
            const bool tall = fills(lit.top(), lit.bottom() + 3, size.height())
                              && centred(lit.left(), lit.right() + 3, size.width());
            return wide || tall;
        },
        10000);
    if (!found)
        qWarning() << "lit part of the picture:" << lit << "of" << size;
    return found;
}

// A minimised window draws nothing; the sound must go on all the same.
void TestDesktopWindow::minimisedTvKeepsPlaying()
{
    select(QStringLiteral("tvlist"), 0);
    QTRY_VERIFY_WITH_TIMEOUT(managerMaximised(), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(frames() > 10, 20000);
    m_form->showMinimized();
    QVERIFY(playsFor(6.0, 12000));
    // Only the compositor brings a minimised Wayland window back; a user
    // would click it in a panel that a headless compositor does not have.
    if (qEnvironmentVariable("LUMORA_SESSION") == QLatin1String("wayland"))
        return;
    m_form->showMaximized();
    const qint64 before = frames();
    QTRY_VERIFY_WITH_TIMEOUT(frames() > before + 10, 20000);
}

// The player's keys in the real window, sent as the window receives keys
// that nothing in it took for itself.
void TestDesktopWindow::playerKeys()
{
    using State = PlayerState::State;
    const PlayerState &state = m_form->player()->controller()->state();
    auto key = [this](Qt::Key k) { QTest::keyClick(m_form.get(), k); };
    select(QStringLiteral("gblist"), 0);
    QVERIFY(playsFor(0.5));

    key(Qt::Key_Space);
    QTRY_COMPARE(state.state(), State::Paused);
    key(Qt::Key_Space);
    QTRY_COMPARE(state.state(), State::Playing);
    key(Qt::Key_M);
    QVERIFY(state.mute());
    key(Qt::Key_M);
    QVERIFY(!state.mute());

    // The program sets 100, the most there is.
    QCOMPARE(state.volume(), 100);
    auto *slider = m_form->player()->controlBar()->findChild<QSlider *>(QStringLiteral("volume"));
    const int step = PlayerKeys::kVolumeStep;
    struct Press
    {
        Qt::Key key;
        int volume;
    };
    for (const Press &press : {Press{Qt::Key_Up, 100}, Press{Qt::Key_Down, 100 - step},
                               Press{Qt::Key_Down, 100 - 2 * step}, Press{Qt::Key_Minus, 100 - 3 * step},
                               Press{Qt::Key_Plus, 100 - 2 * step}, Press{Qt::Key_Up, 100 - step}}) {
        key(press.key);
        QCOMPARE(state.volume(), press.volume);
        QCOMPARE(slider->value(), press.volume);
    }

    // The media keys, where the platform delivers them (they have no text,
    // which QTest::keyClick insists on).
    auto mediaKey = [this](Qt::Key k) {
        QKeyEvent press(QEvent::KeyPress, k, Qt::NoModifier);
        QApplication::sendEvent(m_form.get(), &press);
        QKeyEvent release(QEvent::KeyRelease, k, Qt::NoModifier);
        QApplication::sendEvent(m_form.get(), &release);
    };
    mediaKey(Qt::Key_MediaStop);
    QTRY_COMPARE(state.state(), State::Stopped);
    mediaKey(Qt::Key_MediaPlay);
    QVERIFY(playsFor(0.5));
    mediaKey(Qt::Key_MediaPause);
    QTRY_COMPARE(state.state(), State::Paused);
    mediaKey(Qt::Key_MediaTogglePlayPause);
    QTRY_COMPARE(state.state(), State::Playing);
    // With Ctrl held a key is not the player's.
    QTest::keyClick(m_form.get(), Qt::Key_Space, Qt::ControlModifier);
    QCOMPARE(state.state(), State::Playing);

    // H opens the song history, a window of its own beside the main window.
    QVERIFY(!m_form->player()->songHistoryWindow());
    key(Qt::Key_H);
    QVERIFY(m_form->player()->songHistoryWindow());
    QVERIFY(QTest::qWaitForWindowExposed(m_form->player()->songHistoryWindow()));
    QVERIFY(m_form->player()->songHistoryWindow()->isWindow());
    m_form->player()->songHistoryWindow()->close();
    QTRY_VERIFY(!m_form->player()->songHistoryWindow());

    // R records and stops; L goes back to live after a pause.
    StreamRecorder *recorder = m_form->player()->recorder();
    QTemporaryDir music;
    recorder->setFolder(music.path());
    key(Qt::Key_R);
    QVERIFY(recorder->isRecording());
    key(Qt::Key_R);
    QVERIFY(!recorder->isRecording());
    QCOMPARE(recorder->files().size(), 1);
    key(Qt::Key_Space);
    QTRY_COMPARE(state.state(), State::Paused);
    QTRY_VERIFY_WITH_TIMEOUT(state.behindLiveSeconds() >= 2, 10000);
    key(Qt::Key_L);
    QTRY_COMPARE(state.behindLiveSeconds(), 0);
    QVERIFY(playsFor(0.5));
}

// Tab walks the control bar, whose controls say in Chinese what they do.
void TestDesktopWindow::controlsReachableWithTab()
{
    ControlBar *bar = m_form->player()->controlBar();
    QStringList reached;
    for (int i = 0; i < 10; ++i) {
        QTest::keyClick(m_form.get(), Qt::Key_Tab);
        if (QWidget *focus = m_form->focusWidget(); focus && !reached.contains(focus->objectName()))
            reached.append(focus->objectName());
    }
    for (const char *name : {"playPause", "stop", "mute", "volume", "record", "history"}) {
        QVERIFY2(reached.contains(QLatin1String(name)), name);
        auto *control = bar->findChild<QWidget *>(QLatin1String(name));
        QVERIFY(!control->accessibleName().isEmpty());
        QVERIFY(control->toolTip().startsWith(control->accessibleName()));
        QVERIFY2(control->accessibleName().at(0).script() == QChar::Script_Han, name);
    }
    QCOMPARE(bar->findChild<QWidget *>(QStringLiteral("playPause"))->accessibleName(), QStringLiteral("播放"));
    QCOMPARE(bar->findChild<QWidget *>(QStringLiteral("volume"))->accessibleName(), QStringLiteral("音量"));
}

QTEST_MAIN(TestDesktopWindow)
#include "tst_desktopwindow.moc"
