#include "StreamServerMain.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>

#include "DemoServerLog.h"
#include "MediaLibrary.h"
#include "ShutdownSignals.h"
#include "StreamServer.h"

namespace StreamServerMain {

namespace {

// Queued: the media may be ready (or fail) before the event loop runs, and an
// exit asked for then would be lost.
void exitLater(int code)
{
    QMetaObject::invokeMethod(
        qApp, [code] { QCoreApplication::exit(code); }, Qt::QueuedConnection);
}

} // namespace

int run(int argc, char *argv[], const Program &program)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(program.name);
    qSetMessagePattern(program.name + QStringLiteral(": %{message}"));

    QCommandLineParser parser;
    parser.setApplicationDescription(program.description);
    parser.addHelpOption();
    const QCommandLineOption portOption(QStringLiteral("port"),
        QStringLiteral("Port to listen on; 0 picks a free one."), QStringLiteral("N"), QStringLiteral("8931"));
    const QCommandLineOption mediaOption(QStringLiteral("media"), QStringLiteral("Folder for the generated media."),
        QStringLiteral("DIR"), MediaLibrary::defaultDirectory());
    parser.addOption(portOption);
    parser.addOption(mediaOption);
    parser.process(app);

    bool ok = false;
    const uint port = parser.value(portOption).toUInt(&ok);
    if (!ok || port > 65535) {
        std::fprintf(stderr, "%s: --port needs a number from 0 to 65535\n", qPrintable(program.name));
        return 2;
    }

    ShutdownSignals signals;
    QObject::connect(&signals, &ShutdownSignals::shutdownRequested, &app, [](int number) {
        qCInfo(lcDemoServer) << "signal" << number << "- stopping";
        QCoreApplication::exit(0);
    });

    MediaLibrary library(parser.value(mediaOption));
    StreamServer server(&library);
    if (program.extend)
        program.extend(server, library);
    QObject::connect(&library, &MediaLibrary::failed, &app, [](const QString &reason) {
        qCCritical(lcDemoServer).noquote() << reason;
        exitLater(1);
    });
    QObject::connect(&library, &MediaLibrary::ready, &app, [&] {
        qCInfo(lcDemoServer) << (library.regenerated() ? "media made in" : "media reused in") << library.preparationMs()
                             << "ms";
        if (!server.listen(quint16(port))) {
            qCCritical(lcDemoServer).noquote()
                << QStringLiteral("cannot listen on 127.0.0.1:%1: %2").arg(port).arg(server.errorString());
            exitLater(1);
            return;
        }
        std::printf("listening on 127.0.0.1:%u\n", unsigned(server.port()));
        std::fflush(stdout);
    });
    library.prepare();
    return app.exec();
}

} // namespace StreamServerMain
