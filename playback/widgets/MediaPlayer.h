#pragma once

#include <QPointer>
#include <QWidget>

#include "MpvCore.h"
#include "NowPlaying.h"

class ControlBar;
class MpvVideoWindow;
class PlaybackController;
class PlayerSettings;
class SleepTimer;
class StreamRecorder;
class SongHistory;
class SongHistoryWindow;

// The embedded player as the window uses it: give it an address (URL) and it
// plays by itself, set the volume of its settings, and place its area in
// twips. It draws its own video area and control bar and never shows a
// dialog: whatever a stream does ends up in the status text.
class MediaPlayer : public QWidget
{
    Q_OBJECT

public:
    explicit MediaPlayer(QWidget *parent = nullptr, const MpvCore::Options &engine = {});
    ~MediaPlayer() override;

    // The settings the player is created with, which never change: it plays
    // an address as soon as it is given, shows its full controls and its
    // context menu, and shows failures as status text only.
    bool autoStart() const { return true; }
    QString uiMode() const { return QStringLiteral("full"); }
    bool enableContextMenu() const { return true; }
    bool enableErrorDialogs() const { return false; }

    PlayerSettings *settings() const { return m_settings; }

    QString URL() const;
    // Returns at once; the stream opens and plays on its own. The empty text
    // stops. A new address replaces the old one, even one still opening.
    void setURL(const QString &url);
    // The same for an entry of the catalogue: its name goes with its address
    // to whoever shows or announces what plays.
    void open(const NowPlaying &entry);
    const NowPlaying &nowPlaying() const;

    // Placement in the parent's client area, in twips, one call per edge.
    void setLeft(float twips);
    void setTop(float twips);
    void setWidth(float twips);
    void setHeight(float twips);
    float left() const { return m_left; }
    float top() const { return m_top; }
    float widthTwips() const { return m_width; }
    float heightTwips() const { return m_height; }

    QString statusText() const;
    PlaybackController *controller() const { return m_controller; }
    ControlBar *controlBar() const { return m_bar; }
    // The video area, made when the player is first placed with room for a
    // picture (a TV entry): null before. Its surface is videoWindow(), null
    // where the platform has no OpenGL (videoArea() is then a note that says
    // so).
    MpvVideoWindow *videoWindow() const { return m_video; }
    QWidget *videoArea() const { return m_videoArea; }

    // The titles heard, each with the entry it came from; kept in the
    // user's data folder (read only when it is first needed).
    SongHistory *songHistory() const { return m_history; }
    // Opens the history's window, or brings it forward.
    void showSongHistory();
    SongHistoryWindow *songHistoryWindow() const;
    // Stops the playing after the time chosen, the sound faded out over its last 30 s.
    SleepTimer *sleepTimer() const { return m_sleep; }
    // Records what plays into the music folder.
    StreamRecorder *recorder() const { return m_recorder; }

protected:
    void resizeEvent(QResizeEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void applyPlacement();
    void layoutChildren();
    int shownHeight() const;
    void updateRightInset();
    void createVideoArea();
    void attachEngineToVideo();
    void updateStatus();
    void copyAddress();
    void recordTitle(const QString &title);

    PlaybackController *m_controller;
    PlayerSettings *m_settings;
    ControlBar *m_bar;
    MpvVideoWindow *m_video = nullptr;
    QWidget *m_videoArea = nullptr;
    QPointer<QWidget> m_watchedParent;
    float m_left = 0;
    float m_top = 0;
    float m_width = 0;
    float m_height = 0;
    bool m_engineQueued = false;
    SongHistory *m_history;
    QPointer<SongHistoryWindow> m_historyWindow;
    SleepTimer *m_sleep;
    StreamRecorder *m_recorder;
};
