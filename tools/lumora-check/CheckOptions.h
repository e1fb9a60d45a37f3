#pragma once

#include <QString>
#include <QStringList>

#include "ToolConsole.h"

// The command line of lumora-check.
struct CheckOptions
{
    static constexpr int kDefaultParallel = 16;
    static constexpr int kMaxParallel = 64;
    static constexpr double kDefaultTimeoutSeconds = 10;
    static constexpr double kMaxTimeoutSeconds = 600;

    QString folder = QStringLiteral(".");
    int parallel = kDefaultParallel;
    double timeoutSeconds = kDefaultTimeoutSeconds;
    bool probe = true;
    bool json = false;
    enum class Progress { Auto, Always, Never } progress = Progress::Auto;

    // lumora-check --probe-worker: serve a ProbePool (see ProbeWorker).
    bool worker = false;

    // Reads the arguments (the program's name first); error tells what was
    // wrong for Start::Error.
    ToolConsole::Start parse(const QStringList &arguments, QString *error);

    static QString helpText();
};
