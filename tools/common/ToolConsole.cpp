#include "ToolConsole.h"

namespace ToolConsole {

std::optional<Start> parse(QCommandLineParser &parser, const QStringList &arguments, QString *error)
{
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringLiteral("version"));
    parser.addOptions({help, version});
    if (!parser.parse(arguments)) {
        *error = parser.errorText();
        return Start::Error;
    }
    if (parser.isSet(help)) {
        return Start::Help;
    }
    if (parser.isSet(version)) {
        return Start::Version;
    }
    return std::nullopt;
}

void write(FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

} // namespace ToolConsole
