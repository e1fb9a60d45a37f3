// lumora-check: reads the seventeen list files of a catalogue folder as the
// player does and tries every address on the player's own engine.

#include <unistd.h>

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QSet>

#include "CatalogueSnapshot.h"
#include "CheckOptions.h"
#include "CheckReport.h"
#include "ProbePool.h"
#include "ProbeWorker.h"
#include "ToolConsole.h"

namespace {

// Every address once, in catalogue order.
QStringList addressesOf(const CatalogueSnapshot &catalogue)
{
    QStringList addresses;
    QSet<QString> seen;
    for (const CatalogueSnapshot::File &file : catalogue.files()) {
        for (const ChannelEntry &entry : file.entries) {
            if (!seen.contains(entry.address)) {
                seen.insert(entry.address);
                addresses.append(entry.address);
            }
        }
    }
    return addresses;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("lumora-check"));
    QCoreApplication::setApplicationVersion(QStringLiteral(LUMORA_VERSION));
    // The player notes every address it refuses; here that is the answer,
    // said once in the report, not a warning on the terminal.
    QLoggingCategory::setFilterRules(QStringLiteral("lumora.player.warning=false"));

    CheckOptions options;
    QString error;
    using ToolConsole::write;
    switch (options.parse(QCoreApplication::arguments(), &error)) {
    case ToolConsole::Start::Help:
        write(stdout, CheckOptions::helpText());
        return 0;
    case ToolConsole::Start::Version:
        write(stdout, QStringLiteral("lumora-check %1\n").arg(QCoreApplication::applicationVersion()));
        return 0;
    case ToolConsole::Start::Error:
        write(stderr, QStringLiteral("lumora-check: %1\n（lumora-check --help 查看用法 / see lumora-check --help）\n").arg(error));
        return CheckReport::Unreadable;
    case ToolConsole::Start::Run:
        break;
    }
    if (options.worker) {
        ProbeWorker worker(options.timeoutSeconds);
        worker.start();
        return QCoreApplication::exec();
    }

    CatalogueSnapshot catalogue;
    if (!catalogue.load(options.folder)) {
        write(stderr, QStringLiteral("lumora-check: %1\n").arg(catalogue.error()));
        return CheckReport::Unreadable;
    }
    CheckReport report(catalogue, {options.probe, options.parallel, options.timeoutSeconds});
    auto finish = [&] {
        write(stdout, options.json ? QString::fromUtf8(report.json()) : report.table());
        return report.exitStatus();
    };
    if (!options.probe) {
        return finish();
    }

    const bool showProgress = options.progress == CheckOptions::Progress::Always
                              || (options.progress == CheckOptions::Progress::Auto && isatty(STDERR_FILENO));
    ProbePool pool(options.parallel, options.timeoutSeconds);
    if (showProgress) {
        QObject::connect(&pool, &ProbePool::progress, [](int done, int total, int running, int playing) {
            write(stderr, QLatin1Char('\r') + CheckReport::progressLine(done, total, running, playing)
                              + QStringLiteral("\x1b[K"));
        });
    }
    QObject::connect(&pool, &ProbePool::finished, &app, [&] {
        if (showProgress) {
            write(stderr, QStringLiteral("\r\x1b[K"));
        }
        report.setResults(pool.results(), pool.elapsedMs(), pool.peakRunning());
        QCoreApplication::exit(finish());
    });
    pool.run(addressesOf(catalogue));
    return QCoreApplication::exec();
}
