#include "ControlBar.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QSlider>
#include <QStyle>
#include <QToolButton>

namespace {

QToolButton *makeButton(QWidget *parent, QStyle::StandardPixmap icon, const QString &tip, const char *name)
{
    auto *button = new QToolButton(parent);
    button->setObjectName(QLatin1String(name));
    button->setIcon(parent->style()->standardIcon(icon));
    button->setToolTip(tip);
    button->setAccessibleName(tip);
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

    m_playPause = makeButton(this, QStyle::SP_MediaPlay, QStringLiteral("播放"), "playPause");
    m_stop = makeButton(this, QStyle::SP_MediaStop, QStringLiteral("停止"), "stop");
    m_mute = makeButton(this, QStyle::SP_MediaVolume, QStringLiteral("静音"), "mute");
    m_mute->setCheckable(true);

    m_volume = new QSlider(Qt::Horizontal, this);
    m_volume->setObjectName(QStringLiteral("volume"));
    m_volume->setRange(0, 100);
    m_volume->setPageStep(10);
    m_volume->setFixedWidth(90);
    m_volume->setToolTip(QStringLiteral("音量"));
    m_volume->setAccessibleName(QStringLiteral("音量"));
    m_volume->setFocusPolicy(Qt::TabFocus);

    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("status"));
    m_status->setMinimumWidth(40);
    m_status->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_status->setTextFormat(Qt::PlainText);

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 2, 8, 2);
    layout->setSpacing(2);
    layout->addWidget(m_playPause);
    layout->addWidget(m_stop);
    layout->addWidget(m_mute);
    layout->addWidget(m_volume);
    layout->addSpacing(6);
    layout->addWidget(m_status, 1);

    connect(m_playPause, &QToolButton::clicked, this, &ControlBar::playPauseClicked);
    connect(m_stop, &QToolButton::clicked, this, &ControlBar::stopClicked);
    connect(m_mute, &QToolButton::toggled, this, &ControlBar::muteToggled);
    connect(m_volume, &QSlider::valueChanged, this, &ControlBar::volumeMoved);
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
    m_playPause->setIcon(style()->standardIcon(playing ? QStyle::SP_MediaPause : QStyle::SP_MediaPlay));
    const QString tip = playing ? QStringLiteral("暂停") : QStringLiteral("播放");
    m_playPause->setToolTip(tip);
    m_playPause->setAccessibleName(tip);
}

void ControlBar::setMuted(bool muted)
{
    const QSignalBlocker block(m_mute);
    m_mute->setChecked(muted);
    m_mute->setIcon(style()->standardIcon(muted ? QStyle::SP_MediaVolumeMuted : QStyle::SP_MediaVolume));
    m_mute->setToolTip(muted ? QStringLiteral("取消静音") : QStringLiteral("静音"));
}

void ControlBar::setVolume(int volume)
{
    const QSignalBlocker block(m_volume);
    m_volume->setValue(volume);
}

void ControlBar::setStatusText(const QString &text)
{
    m_statusText = text;
    m_status->setToolTip(text);
    m_status->setAccessibleName(text);
    elideStatus();
}

void ControlBar::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    elideStatus();
}

void ControlBar::elideStatus()
{
    const int width = qMax(0, m_status->width());
    m_status->setText(m_status->fontMetrics().elidedText(m_statusText, Qt::ElideRight, width));
}
