#include <QApplication>

#include "Form1.h"
#include "Version.h"

// The program takes no command line and reads no settings: its catalogue is
// the list files of the working directory.
int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("lumora"));
    QApplication::setApplicationVersion(
        QStringLiteral("%1.%2.%3").arg(Version::kMajor).arg(Version::kMinor).arg(Version::kRevision));

    Form1 form;
    form.LoadMainWindow();
    form.show();
    return app.exec();
}
