// lumora-import: converts an M3U or PLS playlist into records of one of the
// seventeen list files.

#include <QCoreApplication>
#include <QFile>

#include "ImportOptions.h"
#include "Importer.h"
#include "ToolConsole.h"

namespace {

using ToolConsole::write;

void say(const QString &line)
{
    write(stderr, QStringLiteral("lumora-import: %1\n").arg(line));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("lumora-import"));
    QCoreApplication::setApplicationVersion(QStringLiteral(LUMORA_VERSION));

    ImportOptions options;
    QString error;
    switch (options.parse(QCoreApplication::arguments(), &error)) {
    case ToolConsole::Start::Help:
        write(stdout, ImportOptions::helpText());
        return Importer::Done;
    case ToolConsole::Start::Version:
        write(stdout, QStringLiteral("lumora-import %1\n").arg(QCoreApplication::applicationVersion()));
        return Importer::Done;
    case ToolConsole::Start::Error:
        say(error);
        say(QStringLiteral("lumora-import --help 查看用法 / see lumora-import --help"));
        return Importer::Failed;
    case ToolConsole::Start::Run:
        break;
    }

    QFile input;
    const bool fromStdin = options.playlistPath == QLatin1String("-");
    if (fromStdin) {
        input.open(stdin, QIODevice::ReadOnly);
    } else {
        input.setFileName(options.playlistPath);
        if (!input.open(QIODevice::ReadOnly)) {
            say(QStringLiteral("无法读取播放列表 %1：%2").arg(options.playlistPath, input.errorString()));
            return Importer::Failed;
        }
        options.request.playlistLocation = options.playlistPath;
    }
    options.request.playlist = input.readAll();

    const Importer::Outcome outcome = Importer::plan(options.request);
    for (const QString &line : outcome.messages) {
        say(line);
    }
    if (outcome.status == Importer::Failed) {
        return Importer::Failed;
    }
    if (options.dryRun) {
        for (const QString &record : outcome.records) {
            write(stdout, record + QLatin1Char('\n'));
        }
        say(QStringLiteral("试运行：没有写入任何文件"));
        return outcome.status;
    }
    if (!Importer::write(options.request, outcome, &error)) {
        say(error);
        return Importer::Failed;
    }
    return outcome.status;
}
