#include "ControlBar.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QSlider>
#include <QToolButton>

#include "ControlIcon.h"

namespace {

// The player's keys (PlayerKeys), as the controls name them.
const QString kPlayPauseKey = QStringLiteral("空格键");
const QString kMuteKey = QStringLiteral("M 键");
const QString kVolumeKeys = QStringLiteral("上下方向键");
const QString kHistoryKey = QStringLiteral("H 键");
const QString kRecordKey = QStringLiteral("R 键");
const QString kLiveKey = QStringLiteral("L 键");

// The name a screen reader says and the tooltip are the same words, with the
// player's key for it in the tooltip and the description.
void describe(QWidget *control, const QString &name, const QString &key)
{
    control->setAccessibleName(name);
    control->setAccessibleDescription(key);
    control->setToolTip(key.isEmpty() ? name : QStringLiteral("%1(%2)").arg(name, key));
}

QToolButton *makeButton(QWidget *parent, ControlIcon::Shape icon, const QString &tip, const QString &key,
                        const char *name)
{
    auto *button = new QToolButton(parent);
    button->setObjectName(QLatin1String(name));
    button->setIcon(ControlIcon::icon(icon));
    describe(button, tip, key);
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::TabFocus);
    return button;
}

}

ControlBar::ControlBar(QWidget *parent)
    : QWidget(parent)
{
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Window);

    m_playPause = makeButton(this, ControlIcon::Shape::Play, QStringLiteral("播放"), kPlayPauseKey, "playPause");
    m_stop = makeButton(this, ControlIcon::Shape::Stop, QStringLiteral("停止"), QString(), "stop");
    m_mute = makeButton(this, ControlIcon::Shape::Volume, QStringLiteral("静音"), kMuteKey, "mute");
    m_mute->setCheckable(true);

    m_volume = new QSlider(Qt::Horizontal, this);
    m_volume->setObjectName(QStringLiteral("volume"));
    m_volume->setRange(0, 100);
    m_volume->setPageStep(10);
    m_volume->setFixedWidth(90);
    describe(m_volume, QStringLiteral("音量"), kVolumeKeys);
    m_volume->setFocusPolicy(Qt::TabFocus);

    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("status"));
    m_status->setMinimumWidth(40);
    m_status->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_status->setTextFormat(Qt::PlainText);

    m_history = makeButton(this, ControlIcon::Shape::History, QStringLiteral("歌曲记录"), kHistoryKey, "history");

    m_sleep = new QLabel(this);
    m_sleep->setObjectName(QStringLiteral("sleep"));
    m_sleep->setTextFormat(Qt::PlainText);
    m_sleep->hide();

    m_behind = new QLabel(this);
    m_behind->setObjectName(QStringLiteral("behindLive"));
    m_behind->setTextFormat(Qt::PlainText);
    m_behind->hide();
    m_goLive = makeButton(this, ControlIcon::Shape::Play, QStringLiteral("回到直播"), kLiveKey, "goLive");
    m_goLive->setText(QStringLiteral("回到直播"));
    m_goLive->setToolButtonStyle(Qt::ToolButtonTextOnly);
    m_goLive->hide();

    m_record = makeButton(this, ControlIcon::Shape::Record, QStringLiteral("录音"), kRecordKey, "record");
    m_recorded = new QLabel(this);
    m_recorded->setObjectName(QStringLiteral("recorded"));
    m_recorded->setTextFormat(Qt::PlainText);
    m_recorded->hide();

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 2, 8, 2);
    layout->setSpacing(2);
    layout->addWidget(m_playPause);
    layout->addWidget(m_stop);
    layout->addWidget(m_mute);
    layout->addWidget(m_volume);
    layout->addSpacing(6);
    layout->addWidget(m_status, 1);
    layout->addWidget(m_behind);
    layout->addWidget(m_goLive);
    layout->addWidget(m_recorded);
    layout->addWidget(m_record);
    layout->addWidget(m_sleep);
    layout->addWidget(m_history);

    connect(m_playPause, &QToolButton::clicked, this, &ControlBar::playPauseClicked);
    connect(m_stop, &QToolButton::clicked, this, &ControlBar::stopClicked);
    connect(m_mute, &QToolButton::toggled, this, &ControlBar::muteToggled);
    connect(m_volume, &QSlider::valueChanged, this, &ControlBar::volumeMoved);
    connect(m_history, &QToolButton::clicked, this, &ControlBar::historyClicked);
    connect(m_goLive, &QToolButton::clicked, this, &ControlBar::goLiveClicked);
    connect(m_record, &QToolButton::clicked, this, &ControlBar::recordClicked);
}

QString ControlBar::statusText() const
{
    return m_statusText;
}

void ControlBar::setRightInset(int pixels)
{
    if (pixels == m_rightInset)
        return;
    m_rightInset = pixels;
    layout()->setContentsMargins(4, 2, 8 + pixels, 2);
}

void ControlBar::setPlaying(bool playing)
{
    if (m_playing && *m_playing == playing)
        return;
    m_playing = playing;
    m_playPause->setIcon(ControlIcon::icon(playing ? ControlIcon::Shape::Pause : ControlIcon::Shape::Play));
    describe(m_playPause, playing ? QStringLiteral("暂停") : QStringLiteral("播放"), kPlayPauseKey);
}

void ControlBar::setMuted(bool muted)
{
    if (m_muted && *m_muted == muted && m_mute->isChecked() == muted)
        return;
    m_muted = muted;
    const QSignalBlocker block(m_mute);
    m_mute->setChecked(muted);
    m_mute->setIcon(ControlIcon::icon(muted ? ControlIcon::Shape::Muted : ControlIcon::Shape::Volume));
    describe(m_mute, muted ? QStringLiteral("取消静音") : QStringLiteral("静音"), kMuteKey);
}

void ControlBar::setVolume(int volume)
{
    const QSignalBlocker block(m_volume);
    m_volume->setValue(volume);
}

void ControlBar::setStatusText(const QString &text)
{
    if (text == m_statusText)
        return;
    m_statusText = text;
    m_status->setToolTip(text);
    m_status->setAccessibleName(text);
    elideStatus();
}

void ControlBar::setSleepText(const QString &text)
{
    if (text == m_sleep->text())
        return;
    m_sleep->setText(text);
    m_sleep->setAccessibleName(text.isEmpty() ? QString() : QStringLiteral("定时停止:%1").arg(text));
    m_sleep->setToolTip(QStringLiteral("定时停止"));
    m_sleep->setVisible(!text.isEmpty());
}

void ControlBar::setBehindLive(int seconds)
{
    const QString text = seconds > 0
        ? QStringLiteral("落后直播 %1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'))
        : QString();
    if (text == m_behind->text())
        return;
    m_behind->setText(text);
    m_behind->setAccessibleName(text);
    m_behind->setVisible(!text.isEmpty());
    m_goLive->setVisible(!text.isEmpty());
}

void ControlBar::setRecording(bool recording)
{
    if (recording == m_recording)
        return;
    m_recording = recording;
    m_record->setIcon(ControlIcon::icon(recording ? ControlIcon::Shape::Recording : ControlIcon::Shape::Record));
    describe(m_record, recording ? QStringLiteral("停止录音") : QStringLiteral("录音"), kRecordKey);
}

void ControlBar::setRecordingText(const QString &text)
{
    if (text == m_recorded->text())
        return;
    m_recorded->setText(text);
    m_recorded->setAccessibleName(text.isEmpty() ? QString() : QStringLiteral("录音:%1").arg(text));
    m_recorded->setToolTip(QStringLiteral("录音"));
    m_recorded->setVisible(!text.isEmpty());
}

void ControlBar::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    elideStatus();
}

void ControlBar::elideStatus()
{
    const int width = qMax(0, m_status->width());
    const QString shown = m_status->fontMetrics().elidedText(m_statusText, Qt::ElideRight, width);
    // QLabel lays itself out and repaints on every setText, even of the same text.
    if (shown != m_status->text())
        m_status->setText(shown);
}
