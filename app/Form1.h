#pragma once

#include <memory>
#include <vector>

#include <QMainWindow>

#include "MpvCore.h"
#include "PlaybackWindow.h"

class ChannelCatalogue;
class DesktopIntegration;
class MediaPlayer;
class MenuItemArray;
class MenuTree;
class SelectionHandler;

// The one main window: the menu bar with the whole catalogue, and the
// embedded player in the client area below it. It is created hidden; start-up
// runs LoadMainWindow before it is first shown.
class Form1 : public QMainWindow, public PlaybackWindow
{
    Q_OBJECT

public:
    // Client area as created, in twips.
    static constexpr float kClientWidth = 8190;
    static constexpr float kClientHeight = 960;
    // The player's design placement, in twips.
    static constexpr float kPlayerWidth = 8175;
    static constexpr float kPlayerHeight = 975;

    explicit Form1(const MpvCore::Options &engine = {}, QWidget *parent = nullptr);
    ~Form1() override;

    // Sets the volume, builds the AppTitle, captions the window with it and
    // loads the catalogue.
    void LoadMainWindow();
    // The modal About box; returns when the user closes it.
    void ShowAbout();
    QString aboutText() const;

    QString appTitle() const override { return m_appTitle; }
    void setCaption(const QString &caption) override;
    QString caption() const { return m_caption; }
    void setNormalState() override;
    void setMaximisedState() override;
    MediaPlayer *player() const override { return WindowsMediaPlayer1; }

    MenuTree &menuTree() const { return *m_menuTree; }
    MenuItemArray *itemArray(const QString &name) const;
    ChannelCatalogue &catalogue() const { return *m_catalogue; }
    QWidget *clientArea() const { return centralWidget(); }
    // The player's keys, media controls and screen kept awake; joined once the window is first shown.
    DesktopIntegration &desktop() const { return *m_desktop; }

protected:
    void showEvent(QShowEvent *event) override;

private:
    void centreOnScreen();
    void bringForward();

    MediaPlayer *WindowsMediaPlayer1;
    std::unique_ptr<MenuTree> m_menuTree;
    std::unique_ptr<ChannelCatalogue> m_catalogue;
    std::vector<std::unique_ptr<SelectionHandler>> m_handlers;
    // Goes before the player whose controller it follows.
    std::unique_ptr<DesktopIntegration> m_desktop;
    bool m_desktopQueued = false;
    QString m_appTitle;
    QString m_caption;
};
