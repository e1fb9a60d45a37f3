// lumora-startup-probe: starts exactly as the lumora program does (the same
// Startup functions on a default Form1, in the working directory), and once
// the window has been exposed for the first time prints what the start left
// behind, then quits:
//
//   shown
//   group <array name> <item count>
//   item <array name> <index> <caption> <address>   (percent-encoded UTF-8)
//   vmhwm <peak resident KiB>
//   done
//
// tst_badlistfiles runs it on damaged catalogues next to the real program.

#include <cstdio>

#include <QApplication>
#include <QByteArray>
#include <QEvent>
#include <QFile>
#include <QTimer>
#include <QUrl>
#include <QWindow>

#include "ChannelCatalogue.h"
#include "Form1.h"
#include "HeapTuning.h"
#include "MenuItemArray.h"
#include "Startup.h"

namespace {

long statusKiB(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field)) {
            return line.mid(qstrlen(field)).trimmed().split(' ').first().toLong();
        }
    }
    return -1;
}

void printLine(const QByteArray &line)
{
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    std::fputc('\n', stdout);
}

void report(const Form1 &form)
{
    printLine("shown");
    for (const ChannelGroup &group : form.catalogue().groups()) {
        const MenuItemArray *items = form.itemArray(group.arrayName);
        const int count = items ? items->count() : 0;
        printLine("group " + group.arrayName.toUtf8() + ' ' + QByteArray::number(count));
        for (int i = 0; i < count; ++i) {
            printLine("item " + group.arrayName.toUtf8() + ' ' + QByteArray::number(i) + ' '
                + QUrl::toPercentEncoding(items->caption(i)) + ' ' + QUrl::toPercentEncoding(group.addressAt(i)));
        }
    }
    printLine("vmhwm " + QByteArray::number(qint64(statusKiB("VmHWM:"))));
    printLine("done");
    std::fflush(stdout);
}

// Watches the whole application, so that nothing needs to be hooked in
// between loading and showing.
class FirstExpose : public QObject
{
public:
    explicit FirstExpose(Form1 &form)
        : m_form(form)
    {
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (!m_done && event->type() == QEvent::Expose && watched == m_form.windowHandle()
            && m_form.windowHandle()->isExposed()) {
            m_done = true;
            report(m_form);
            QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        }
        return false;
    }

private:
    Form1 &m_form;
    bool m_done = false;
};

} // namespace

int main(int argc, char *argv[])
{
    HeapTuning::returnLargeBuffersWhenFreed();
    QApplication app(argc, argv);
    Startup::describeApplication();

    Form1 form;
    FirstExpose watcher(form);
    app.installEventFilter(&watcher);
    Startup::showMainWindow(form);
    return app.exec();
}
