#include "MprisRoot.h"

#include <QGuiApplication>
#include <QMetaObject>

namespace {

// The id the desktop entry is installed under (packaging/).
constexpr auto kDesktopEntry = "org.example.lumora";

}

MprisRoot::MprisRoot(QObject *object, WindowActions window)
    : QDBusAbstractAdaptor(object)
    , m_window(std::move(window))
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
    if (m_window.raise)
        m_window.raise();
}

void MprisRoot::Quit()
{
    // After the reply has gone: closing may end the program.
    if (m_window.close)
        QMetaObject::invokeMethod(this, m_window.close, Qt::QueuedConnection);
}
