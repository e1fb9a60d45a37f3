#pragma once

#include <optional>

#include <QByteArray>
#include <QString>

#include "ProbeResult.h"

// The lines between ProbePool and its ProbeWorker processes: one request per
// line on the worker's standard input (a JSON array holding the address,
// which may itself hold a line end), one answer per line on its standard
// output (the ProbeResult as a JSON object).
namespace ProbeProtocol {

// The argument that makes lumora-check a worker.
inline constexpr char kWorkerArgument[] = "--probe-worker";

QByteArray request(const QString &address);
std::optional<QString> parseRequest(const QByteArray &line);
QByteArray answer(const ProbeResult &result);
std::optional<ProbeResult> parseAnswer(const QByteArray &line);

}
