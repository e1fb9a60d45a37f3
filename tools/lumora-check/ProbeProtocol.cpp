#include "ProbeProtocol.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace ProbeProtocol {

QByteArray request(const QString &address)
{
    return QJsonDocument(QJsonArray{address}).toJson(QJsonDocument::Compact) + '\n';
}

std::optional<QString> parseRequest(const QByteArray &line)
{
    const QJsonDocument document = QJsonDocument::fromJson(line);
    if (!document.isArray() || document.array().size() != 1 || !document.array().at(0).isString()) {
        return std::nullopt;
    }
    return document.array().at(0).toString();
}

QByteArray answer(const ProbeResult &result)
{
    return QJsonDocument(result.toJson()).toJson(QJsonDocument::Compact) + '\n';
}

std::optional<ProbeResult> parseAnswer(const QByteArray &line)
{
    const QJsonDocument document = QJsonDocument::fromJson(line);
    if (!document.isObject()) {
        return std::nullopt;
    }
    return ProbeResult::fromJson(document.object());
}

} // namespace ProbeProtocol
