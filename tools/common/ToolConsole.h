#pragma once

#include <cstdio>
#include <optional>

#include <QCommandLineParser>
#include <QString>
#include <QStringList>

// What lumora-check and lumora-import share on the command line and the
// terminal.
namespace ToolConsole {

enum class Start { Run, Help, Version, Error };

// Adds -h/--help and --version to the parser's options and parses. Help,
// Version or Error when one of them decides (error then says what was
// wrong); nothing when the program is to run.
std::optional<Start> parse(QCommandLineParser &parser, const QStringList &arguments, QString *error);

// The text as UTF-8, at once.
void write(FILE *stream, const QString &text);

}
