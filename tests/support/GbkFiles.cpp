#include "GbkFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringEncoder>
#include <QTest>

namespace GbkFiles {

QByteArray toGbk(const QString &text)
{
    QStringEncoder encoder("GBK");
    if (!encoder.isValid()) {
        QTest::qFail("no GBK encoder on this system", __FILE__, __LINE__);
        return {};
    }
    QByteArray bytes = encoder.encode(text);
    if (encoder.hasError()) {
        QTest::qFail(qPrintable(QStringLiteral("text has no GBK form: %1").arg(text)), __FILE__, __LINE__);
    }
    return bytes;
}

QByteArray crlfLines(const QStringList &records)
{
    QByteArray bytes;
    for (const QString &record : records) {
        bytes += toGbk(record);
        bytes += "\r\n";
    }
    return bytes;
}

bool writeBytes(const QString &path, const QByteArray &bytes)
{
    const QFileInfo info(path);
    if (!QDir().mkpath(info.absolutePath())) {
        return false;
    }
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

bool writeText(const QString &path, const QString &text)
{
    return writeBytes(path, toGbk(text));
}

bool writeLines(const QString &path, const QStringList &records)
{
    return writeBytes(path, crlfLines(records));
}

} // namespace GbkFiles
