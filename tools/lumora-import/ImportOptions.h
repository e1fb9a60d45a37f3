#pragma once

#include <QString>
#include <QStringList>

#include "Importer.h"
#include "ToolConsole.h"

// The command line of lumora-import.
struct ImportOptions
{
    Importer::Request request;
    QString playlistPath; // "-" for standard input
    bool dryRun = false;

    // Reads the arguments (the program's name first); error tells what was
    // wrong for Start::Error.
    ToolConsole::Start parse(const QStringList &arguments, QString *error);

    static QString helpText();
};
