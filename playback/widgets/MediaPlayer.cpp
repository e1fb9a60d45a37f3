#include "MediaPlayer.h"

#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QLabel>
#include <QMenu>
#include <QScreen>

#include "ControlBar.h"
#include "MpvVideoWindow.h"
#include "PlaybackController.h"
#include "PlayerLog.h"
#include "PlayerSettings.h"
#include "SleepTimer.h"
#include "StreamRecorder.h"
#include "SongHistory.h"
#include "SongHistoryWindow.h"
#include "Twips.h"

namespace {

// Below this much room above the bar there is no video area, only the bar.
constexpr int kMinVideoHeight = 48;

}

MediaPlayer::MediaPlayer(QWidget *parent, const MpvCore::Options &engine)
    : QWidget(parent)
    , m_controller(new PlaybackController(engine, this))
    , m_settings(new PlayerSettings(*m_controller, this))
    , m_bar(new ControlBar(this))
    , m_history(new SongHistory(HistoryFile::defaultPath(), this))
    , m_sleep(new SleepTimer(this))
    , m_recorder(new StreamRecorder(*m_controller, this))
{
    setAttribute(Qt::WA_StyledBackground);
    setMinimumSize(0, 0);
    setAccessibleName(QStringLiteral("播放器"));

    const PlayerState &state = m_controller->state();
    connect(&state, &PlayerState::volumeChanged, m_bar, &ControlBar::setVolume);
    connect(&state, &PlayerState::muteChanged, m_bar, &ControlBar::setMuted);
    // Each signal sets only what it changed.
    connect(&state, &PlayerState::textChanged, m_bar, &ControlBar::setStatusText);
    connect(&state, &PlayerState::stateChanged, this, [this] { m_bar->setPlaying(m_controller->state().isActive()); });
    connect(m_bar, &ControlBar::volumeMoved, m_controller, &PlaybackController::setVolume);
    connect(m_bar, &ControlBar::muteToggled, m_controller, &PlaybackController::setMute);
    connect(m_bar, &ControlBar::playPauseClicked, m_controller, &PlaybackController::togglePause);
    connect(m_bar, &ControlBar::stopClicked, m_controller, &PlaybackController::stop);
    connect(m_bar, &ControlBar::historyClicked, this, &MediaPlayer::showSongHistory);
    connect(&state, &PlayerState::titleChanged, this, &MediaPlayer::recordTitle);
    connect(m_sleep, &SleepTimer::remainingTextChanged, m_bar, &ControlBar::setSleepText);
    connect(m_sleep, &SleepTimer::volumeFactorChanged, m_controller, &PlaybackController::setVolumeFactor);
    connect(m_sleep, &SleepTimer::expired, m_controller, &PlaybackController::stop);
    connect(&state, &PlayerState::behindLiveChanged, m_bar, &ControlBar::setBehindLive);
    connect(m_bar, &ControlBar::goLiveClicked, m_controller, &PlaybackController::goLive);
    connect(m_bar, &ControlBar::recordClicked, m_recorder, &StreamRecorder::toggle);
    connect(m_recorder, &StreamRecorder::recordingChanged, m_bar, &ControlBar::setRecording);
    connect(m_recorder, &StreamRecorder::textChanged, m_bar, &ControlBar::setRecordingText);
    connect(m_controller, &PlaybackController::engineReady, this, [this] {
        // The video area lets go of an engine that is replaced before the
        // engine is destroyed, and draws the new one.
        connect(m_controller->core(), &MpvCore::engineReplaced, this, &MediaPlayer::attachEngineToVideo,
            Qt::DirectConnection);
        attachEngineToVideo();
    });

    m_bar->setVolume(state.volume());
    m_bar->setMuted(state.mute());
    updateStatus();

    if (parent) {
        m_watchedParent = parent;
        parent->installEventFilter(this);
    }
}

MediaPlayer::~MediaPlayer()
{
    if (m_watchedParent)
        m_watchedParent->removeEventFilter(this);
    // The video area frees its render context first (the container takes
    // its window with it); the engine it draws from goes with the controller
    // afterwards.
    delete m_videoArea;
    m_videoArea = nullptr;
    m_video = nullptr;
    // A recording is finished while the engine is still there to finish it;
    // the recorder goes before the controller it uses.
    delete m_recorder;
    m_recorder = nullptr;
}

QString MediaPlayer::URL() const
{
    return m_controller->nowPlaying().address;
}

void MediaPlayer::setURL(const QString &url)
{
    m_controller->open(NowPlaying{ QString(), url });
}

void MediaPlayer::open(const NowPlaying &entry)
{
    m_controller->open(entry);
}

const NowPlaying &MediaPlayer::nowPlaying() const
{
    return m_controller->nowPlaying();
}

void MediaPlayer::setLeft(float twips)
{
    m_left = twips;
    applyPlacement();
}

void MediaPlayer::setTop(float twips)
{
    m_top = twips;
    applyPlacement();
}

void MediaPlayer::setWidth(float twips)
{
    m_width = twips;
    applyPlacement();
}

void MediaPlayer::setHeight(float twips)
{
    m_height = twips;
    applyPlacement();
}

void MediaPlayer::applyPlacement()
{
    const double dpi = logicalDpiX();
    setGeometry(Twips::toPixels(m_left, dpi), Twips::toPixels(m_top, dpi),
                Twips::toPixels(m_width, dpi), Twips::toPixels(m_height, dpi));
    // The first placement with room for a picture makes the video area. It
    // comes from a choice in the menus, never from a resize that the window
    // manager sends: making it changes nothing of the top-level window, but
    // is kept out of the window's own event delivery all the same.
    if (!m_videoArea && height() - m_bar->sizeHint().height() >= kMinVideoHeight) {
        createVideoArea();
        layoutChildren();
    }
}

QString MediaPlayer::statusText() const
{
    return m_bar->statusText();
}

void MediaPlayer::updateStatus()
{
    const PlayerState &state = m_controller->state();
    m_bar->setStatusText(state.text());
    m_bar->setPlaying(state.isActive());
}

void MediaPlayer::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // The engine is prepared once the window is on screen, so that starting
    // the program does not wait for it.
    if (!m_engineQueued) {
        m_engineQueued = true;
        QMetaObject::invokeMethod(this, [this] { m_controller->prepareEngine(); }, Qt::QueuedConnection);
    }
}

void MediaPlayer::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    layoutChildren();
}

void MediaPlayer::moveEvent(QMoveEvent *event)
{
    QWidget::moveEvent(event);
    layoutChildren();
}

bool MediaPlayer::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_watchedParent && event->type() == QEvent::Resize)
        layoutChildren();
    return QWidget::eventFilter(watched, event);
}

void MediaPlayer::updateRightInset()
{
    // The player may reach past the right edge of its parent; keep the
    // controls where they can be seen and clicked.
    int overflow = 0;
    if (parentWidget())
        overflow = qMax(0, geometry().right() + 1 - parentWidget()->width());
    m_bar->setRightInset(qMin(overflow, width() / 2));
}

int MediaPlayer::shownHeight() const
{
    // The part of the player inside its parent: a large video area may reach
    // below a small screen's window, and the bar must stay where it is seen.
    const int barHeight = m_bar->sizeHint().height();
    if (!parentWidget())
        return height();
    return qBound(qMin(barHeight, height()), parentWidget()->height() - y(), height());
}

void MediaPlayer::layoutChildren()
{
    const int barHeight = m_bar->sizeHint().height();
    const int shown = shownHeight();
    const bool videoRoom = m_videoArea && shown - barHeight >= kMinVideoHeight;
    if (m_videoArea)
        m_videoArea->setVisible(videoRoom);
    m_controller->setVideoOutputAvailable(videoRoom && m_video && m_video->hasRenderContext());
    if (videoRoom) {
        m_videoArea->setGeometry(0, 0, width(), shown - barHeight);
        m_bar->setGeometry(0, shown - barHeight, width(), barHeight);
    } else {
        m_bar->setGeometry(0, 0, width(), height());
    }
    updateRightInset();
}

void MediaPlayer::createVideoArea()
{
    auto note = [this](const QString &reason, QWidget *parent) {
        auto *label = new QLabel(QStringLiteral("无法显示视频:%1").arg(reason), parent);
        label->setObjectName(QStringLiteral("videoUnavailable"));
        label->setAlignment(Qt::AlignCenter);
        label->setWordWrap(true);
        return label;
    };
    if (!MpvVideoWindow::isSupported()) {
        qCWarning(lcPlayer) << "没有 OpenGL:只播放声音,不显示视频";
        m_videoArea = note(QStringLiteral("没有可用的 OpenGL"), this);
    } else {
        m_video = new MpvVideoWindow;
        m_videoArea = QWidget::createWindowContainer(m_video, this);
        // The picture is the whole of the area; the container needs no
        // background of its own.
        m_videoArea->setAttribute(Qt::WA_NoSystemBackground);
        connect(m_video, &MpvVideoWindow::renderContextReady, this, [this] {
            m_controller->setVideoOutputAvailable(m_videoArea->isVisible());
        });
        // Without a render context there is sound but no picture; the area
        // says why, in place of the window that cannot draw.
        connect(m_video, &MpvVideoWindow::renderContextFailed, this, [this, note](const QString &reason) {
            QLabel *label = note(reason, this);
            label->setObjectName(QStringLiteral("video"));
            label->setAccessibleName(QStringLiteral("视频"));
            m_videoArea->deleteLater();
            m_videoArea = label;
            m_video = nullptr;
            layoutChildren();
        }, Qt::QueuedConnection);
        attachEngineToVideo();
    }
    m_videoArea->setObjectName(QStringLiteral("video"));
    m_videoArea->setAccessibleName(QStringLiteral("视频"));
    m_videoArea->hide();
    m_videoArea->lower();
}

void MediaPlayer::attachEngineToVideo()
{
    MpvCore *core = m_controller->core();
    if (core && m_video) {
        m_video->attach(core->handle());
        m_controller->setVideoOutputAvailable(m_video->isVisible() && m_video->hasRenderContext());
    }
}

void MediaPlayer::contextMenuEvent(QContextMenuEvent *event)
{
    QMenu menu(this);
    if (m_controller->state().isPlaying())
        menu.addAction(QStringLiteral("暂停"), m_controller, &PlaybackController::pause);
    else
        menu.addAction(QStringLiteral("播放"), m_controller, &PlaybackController::play);
    menu.addAction(QStringLiteral("停止"), m_controller, &PlaybackController::stop);
    QAction *mute = menu.addAction(QStringLiteral("静音"));
    mute->setCheckable(true);
    mute->setChecked(m_controller->state().mute());
    connect(mute, &QAction::toggled, m_controller, &PlaybackController::setMute);
    if (m_controller->state().isBehindLive())
        menu.addAction(QStringLiteral("回到直播"), m_controller, &PlaybackController::goLive);
    menu.addSeparator();
    QAction *record = menu.addAction(QStringLiteral("录音"));
    record->setCheckable(true);
    record->setChecked(m_recorder->isRecording());
    record->setEnabled(m_recorder->isRecording() || m_recorder->canRecord());
    connect(record, &QAction::triggered, m_recorder, &StreamRecorder::toggle);
    menu.addAction(QStringLiteral("歌曲记录…"), this, &MediaPlayer::showSongHistory);
    QMenu *sleep = menu.addMenu(QStringLiteral("定时停止"));
    auto *lengths = new QActionGroup(sleep);
    for (int minutes : SleepTimer::kChoices) {
        QAction *choice = sleep->addAction(QStringLiteral("%1 分钟").arg(minutes), this,
                                           [this, minutes] { m_sleep->start(minutes); });
        choice->setCheckable(true);
        choice->setChecked(m_sleep->isActive() && m_sleep->minutes() == minutes);
        lengths->addAction(choice);
    }
    QAction *off = sleep->addAction(QStringLiteral("关闭"), m_sleep, &SleepTimer::cancel);
    off->setCheckable(true);
    off->setChecked(!m_sleep->isActive());
    lengths->addAction(off);
    menu.addSeparator();
    QAction *copy = menu.addAction(QStringLiteral("复制当前地址"), this, &MediaPlayer::copyAddress);
    copy->setEnabled(!URL().isEmpty());
    menu.exec(event->globalPos());
}

void MediaPlayer::recordTitle(const QString &title)
{
    const NowPlaying &entry = m_controller->nowPlaying();
    m_history->heard(entry.name.isEmpty() ? entry.address.trimmed() : entry.name, title);
}

SongHistoryWindow *MediaPlayer::songHistoryWindow() const
{
    return m_historyWindow;
}

void MediaPlayer::showSongHistory()
{
    if (!m_historyWindow) {
        // A window of its own, owned by the player's window so that it goes with it.
        m_historyWindow = new SongHistoryWindow(m_history, window());
        m_historyWindow->setAttribute(Qt::WA_DeleteOnClose);
        // Over the player's window, where the user looks; a window manager
        // (or Wayland) may still place it as it likes.
        QRect placed(QPoint(), m_historyWindow->size());
        placed.moveCenter(window()->frameGeometry().center());
        if (const QScreen *screen = window()->screen()) {
            const QRect available = screen->availableGeometry();
            placed.moveTopLeft(QPoint(qMax(placed.left(), available.left()), qMax(placed.top(), available.top())));
        }
        m_historyWindow->move(placed.topLeft());
    }
    m_historyWindow->show();
    m_historyWindow->raise();
    m_historyWindow->activateWindow();
}

void MediaPlayer::copyAddress()
{
    QApplication::clipboard()->setText(URL());
}
