#include <QApplication>

#include "Form1.h"
#include "HeapTuning.h"
#include "Startup.h"

// The program takes no command line and reads no settings: its catalogue is
// the list files of the working directory.
int main(int argc, char *argv[])
{
    HeapTuning::returnLargeBuffersWhenFreed();
    QApplication app(argc, argv);
    Startup::describeApplication();

    Form1 form;
    Startup::showMainWindow(form);
    return app.exec();
}
