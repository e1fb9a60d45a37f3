// The bare window as a program of its own, linked with Qt Widgets only: no
// player, no libmpv and none of the libraries it brings. Started by
// bench_startup.

#include <memory>

#include <QApplication>
#include <QMainWindow>
#include <QMenuBar>
#include <QWindow>

#include "FirstExpose.h"

namespace {

// A plain QMainWindow with a menu bar of the main window's shape and its
// size, without the player: what the main window's start-up is measured
// against.
std::unique_ptr<QMainWindow> bareWindow()
{
    auto window = std::make_unique<QMainWindow>();
    window->setWindowTitle(QStringLiteral("Lumora V1.3.0"));
    QMenu *gb = window->menuBar()->addMenu(QStringLiteral("广播"));
    for (int i = 0; i < 14; ++i)
        gb->addMenu(QStringLiteral("省 %1").arg(i))->addAction(QStringLiteral("台"));
    gb->addAction(QStringLiteral("广播列表"));
    window->menuBar()->addMenu(QStringLiteral("电视"))->addAction(QStringLiteral("电视列表"));
    window->menuBar()->addMenu(QStringLiteral("相声"))->addAction(QStringLiteral("相声列表"));
    window->menuBar()->addAction(QStringLiteral("关于"));
    window->resize(546, 90);
    return window;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    FirstExpose watcher;
    auto window = bareWindow();
    window->winId();
    window->windowHandle()->installEventFilter(&watcher);
    window->show();
    return app.exec();
}
