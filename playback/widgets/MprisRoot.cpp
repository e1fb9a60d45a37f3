#include "MprisRoot.h"

#include <QGuiApplication>
#include <QMetaObject>
#include <QWidget>

namespace {

// The id the desktop entry is installed under (packaging/).
constexpr auto kDesktopEntry = "org.example.lumora";

}

MprisRoot::MprisRoot(QObject *object, QWidget &window)
    : QDBusAbstractAdaptor(object)
    , m_window(window)
{
}

QString MprisRoot::identity() const
{
    return QStringLiteral("Lumora");
}

QString MprisRoot::desktopEntry() const
{
    const QString name = QGuiApplication::desktopFileName();
    return name.isEmpty() ? QString::fromLatin1(kDesktopEntry) : name;
}

void MprisRoot::Raise()
{
    if (m_window.isMinimized())
        m_window.setWindowState(m_window.windowState() & ~Qt::WindowMinimized);
    m_window.show();
    m_window.raise();
    m_window.activateWindow();
}

void MprisRoot::Quit()
{
    // After the reply has gone: closing may end the program.
    QMetaObject::invokeMethod(&m_window, &QWidget::close, Qt::QueuedConnection);
}
