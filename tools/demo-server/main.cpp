#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>

#include "DemoServerLog.h"
#include "MediaLibrary.h"
#include "RtspServer.h"
#include "ShutdownSignals.h"
#include "StreamServer.h"

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("lumora-demo-server"));
    qSetMessagePattern(QStringLiteral("lumora-demo-server: %{message}"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Demonstration and test stream server, on 127.0.0.1 only."));
    parser.addHelpOption();
    const QCommandLineOption portOption(QStringLiteral("port"), QStringLiteral("Port to listen on; 0 picks a free one."),
                                        QStringLiteral("N"), QStringLiteral("8931"));
    const QCommandLineOption mediaOption(QStringLiteral("media"), QStringLiteral("Folder for the generated media."),
                                         QStringLiteral("DIR"), MediaLibrary::defaultDirectory());
    const QCommandLineOption rtspOption(QStringLiteral("rtsp-port"),
                                        QStringLiteral("Also serve RTSP on this port; 0 picks a free one."),
                                        QStringLiteral("N"));
    parser.addOption(portOption);
    parser.addOption(rtspOption);
    parser.addOption(mediaOption);
    parser.process(app);

    bool ok = false;
    const uint port = parser.value(portOption).toUInt(&ok);
    if (!ok || port > 65535) {
        std::fprintf(stderr, "lumora-demo-server: --port needs a number from 0 to 65535\n");
        return 2;
    }
    const bool withRtsp = parser.isSet(rtspOption);
    const uint rtspPort = parser.value(rtspOption).toUInt(&ok);
    if (withRtsp && (!ok || rtspPort > 65535)) {
        std::fprintf(stderr, "lumora-demo-server: --rtsp-port needs a number from 0 to 65535\n");
        return 2;
    }

    ShutdownSignals signals;
    QObject::connect(&signals, &ShutdownSignals::shutdownRequested, &app, [](int number) {
        qCInfo(lcDemoServer) << "signal" << number << "- stopping";
        QCoreApplication::exit(0);
    });

    MediaLibrary library(parser.value(mediaOption));
    StreamServer server(&library);
    RtspServer rtsp(&library);
    QObject::connect(&library, &MediaLibrary::failed, &app, [](const QString &reason) {
        qCCritical(lcDemoServer).noquote() << reason;
        // Queued: the media may be ready (or fail) before the event loop runs,
        // and an exit asked for then would be lost.
        QMetaObject::invokeMethod(qApp, [] { QCoreApplication::exit(1); }, Qt::QueuedConnection);
    });
    QObject::connect(&library, &MediaLibrary::ready, &app, [&] {
        qCInfo(lcDemoServer) << (library.regenerated() ? "media made in" : "media reused in")
                             << library.preparationMs() << "ms";
        if (!server.listen(quint16(port))) {
            qCCritical(lcDemoServer).noquote()
                << QStringLiteral("cannot listen on 127.0.0.1:%1: %2").arg(port).arg(server.errorString());
            QMetaObject::invokeMethod(qApp, [] { QCoreApplication::exit(1); }, Qt::QueuedConnection);
            return;
        }
        // Before the HTTP line, which stays the last one, so that whoever waits for it has both.
        if (withRtsp) {
            if (!rtsp.listen(quint16(rtspPort))) {
                qCCritical(lcDemoServer).noquote()
                    << QStringLiteral("cannot listen on 127.0.0.1:%1: %2").arg(rtspPort).arg(rtsp.errorString());
                QMetaObject::invokeMethod(qApp, [] { QCoreApplication::exit(1); }, Qt::QueuedConnection);
                return;
            }
            std::printf("rtsp on 127.0.0.1:%u\n", unsigned(rtsp.port()));
        }
        std::printf("listening on 127.0.0.1:%u\n", unsigned(server.port()));
        std::fflush(stdout);
    });
    library.prepare();
    return app.exec();
}
