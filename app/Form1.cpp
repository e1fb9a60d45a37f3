#include "Form1.h"

#include <QGuiApplication>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>

#include "AboutText.h"
#include "AppTitle.h"
#include "ChannelCatalogue.h"
#include "DesktopIntegration.h"
#include "GroupTable.h"
#include "MediaPlayer.h"
#include "MenuItemArray.h"
#include "MenuTree.h"
#include "PlaybackController.h"
#include "PlayerSettings.h"
#include "SelectionHandler.h"
#include "StreamRecorder.h"
#include "Twips.h"
#include "Version.h"

Form1::Form1(const MpvCore::Options &engine, QWidget *parent)
    : QMainWindow(parent)
{
    setObjectName(QStringLiteral("Form1"));
    setCaption(QStringLiteral("Lumora"));

    auto *client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    setCentralWidget(client);

    m_menuTree = std::make_unique<MenuTree>(menuBar(), this);
    m_catalogue = std::make_unique<ChannelCatalogue>(
        [this](const QString &name) -> ItemArray * { return itemArray(name); });

    WindowsMediaPlayer1 = new MediaPlayer(client, engine);
    WindowsMediaPlayer1->setObjectName(QStringLiteral("WindowsMediaPlayer1"));
    WindowsMediaPlayer1->setLeft(0);
    WindowsMediaPlayer1->setTop(0);
    WindowsMediaPlayer1->setWidth(kPlayerWidth);
    WindowsMediaPlayer1->setHeight(kPlayerHeight);

    for (const GroupDefinition &definition : GroupTable::groups()) {
        const QString name = definition.arrayName;
        auto handler = std::make_unique<SelectionHandler>(m_catalogue->group(name), definition.layout, *this);
        connect(itemArray(name), &MenuItemArray::clicked, this,
                [h = handler.get()](qint16 index) { h->select(index); });
        m_handlers.push_back(std::move(handler));
    }
    connect(m_menuTree->about(), &QAction::triggered, this, &Form1::ShowAbout);
    m_desktop = std::make_unique<DesktopIntegration>(
        WindowActions{ this, [this] { bringForward(); }, [this] { close(); } }, *WindowsMediaPlayer1->controller());
    connect(m_desktop.get(), &DesktopIntegration::historyRequested, WindowsMediaPlayer1,
            &MediaPlayer::showSongHistory);
    connect(m_desktop.get(), &DesktopIntegration::recordRequested, WindowsMediaPlayer1->recorder(),
            &StreamRecorder::toggle);

    const double dpi = logicalDpiX();
    client->setMinimumSize(0, 0);
    resize(Twips::toPixels(kClientWidth, dpi),
           Twips::toPixels(kClientHeight, dpi) + menuBar()->sizeHint().height());
    centreOnScreen();
}

Form1::~Form1() = default;

void Form1::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    // After the window is on screen, so that starting does not wait for it.
    if (!m_desktopQueued) {
        m_desktopQueued = true;
        QMetaObject::invokeMethod(m_desktop.get(), &DesktopIntegration::join, Qt::QueuedConnection);
    }
}

void Form1::bringForward()
{
    if (isMinimized())
        setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

void Form1::LoadMainWindow()
{
    WindowsMediaPlayer1->settings()->setVolume(100);
    m_appTitle = AppTitle::build(Version::kMajor, Version::kMinor, Version::kRevision);
    setCaption(m_appTitle);
    m_catalogue->load();
}

QString Form1::aboutText() const
{
    return AboutText::build(m_appTitle, QString::fromUtf8(Version::kQq), QString::fromUtf8(Version::kEmail),
                            QString::fromUtf8(Version::kHomepage));
}

void Form1::ShowAbout()
{
    QMessageBox box(this);
    box.setObjectName(QStringLiteral("about"));
    box.setWindowTitle(QStringLiteral("关于作者"));
    box.setIcon(QMessageBox::NoIcon);
    box.setTextFormat(Qt::PlainText);
    box.setText(aboutText());
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
}

void Form1::setCaption(const QString &caption)
{
    m_caption = caption;
    // "[*]" in a window title is Qt's placeholder for the modified mark;
    // doubled, it shows as written.
    QString title = caption;
    title.replace(QLatin1String("[*]"), QLatin1String("[*][*]"));
    setWindowTitle(title);
}

void Form1::setNormalState()
{
    setWindowState(windowState() & ~(Qt::WindowMaximized | Qt::WindowMinimized | Qt::WindowFullScreen));
}

void Form1::setMaximisedState()
{
    setWindowState((windowState() & ~(Qt::WindowMinimized | Qt::WindowFullScreen)) | Qt::WindowMaximized);
}

MenuItemArray *Form1::itemArray(const QString &name) const
{
    return m_menuTree->array(name);
}

void Form1::centreOnScreen()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    QRect frame(QPoint(), size());
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
}
