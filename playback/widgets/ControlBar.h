#pragma once

#include <optional>

#include <QWidget>

class QLabel;
class QSlider;
class QToolButton;

// The player's own control bar: play/pause, stop, mute, volume, a status
// text, how far behind live a paused stream plays (with the way back to live),
// recording, the song history and the sleep timer's time left. It only
// reports what the user asked for and shows the state it is given; it knows
// nothing of the engine.
class ControlBar : public QWidget
{
    Q_OBJECT

public:
    explicit ControlBar(QWidget *parent = nullptr);

    QString statusText() const;
    // Space to leave free on the right, for when the player reaches past the
    // right edge of the window.
    void setRightInset(int pixels);

public Q_SLOTS:
    // Whether the player is busy bringing sound: the button offers pause.
    void setPlaying(bool playing);
    void setMuted(bool muted);
    void setVolume(int volume);
    void setStatusText(const QString &text);
    // The sleep timer's time left; empty hides it.
    void setSleepText(const QString &text);
    // How far behind the station it plays; 0 hides it and the way back.
    void setBehindLive(int seconds);
    void setRecording(bool recording);
    // How long and how much it has recorded; empty hides it.
    void setRecordingText(const QString &text);

Q_SIGNALS:
    void playPauseClicked();
    void stopClicked();
    void muteToggled(bool muted);
    void volumeMoved(int volume);
    void historyClicked();
    void goLiveClicked();
    void recordClicked();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void elideStatus();

    QToolButton *m_playPause;
    QToolButton *m_stop;
    QToolButton *m_mute;
    QSlider *m_volume;
    QLabel *m_status;
    QToolButton *m_history;
    QLabel *m_sleep;
    QLabel *m_behind;
    QToolButton *m_goLive;
    QToolButton *m_record;
    QLabel *m_recorded;
    QString m_statusText;
    int m_rightInset = 0;
    // What the buttons show now; nothing before the first state.
    std::optional<bool> m_playing;
    std::optional<bool> m_muted;
    bool m_recording = false;
};
