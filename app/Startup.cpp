#include "Startup.h"

#include <QApplication>

#include "Form1.h"
#include "Version.h"

namespace Startup {

void describeApplication()
{
    QApplication::setApplicationName(QStringLiteral("lumora"));
    // Lets Wayland compositors match the window with its desktop entry.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.example.lumora"));
    QApplication::setApplicationVersion(
        QStringLiteral("%1.%2.%3").arg(Version::kMajor).arg(Version::kMinor).arg(Version::kRevision));
}

void showMainWindow(Form1 &form)
{
    form.LoadMainWindow();
    form.show();
}

} // namespace Startup
