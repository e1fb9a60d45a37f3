#include "HistoryFile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QSaveFile>
#include <QStandardPaths>
#include <QStringDecoder>

Q_LOGGING_CATEGORY(lcHistory, "lumora.history")

namespace {

// Far more than the history keeps: anything larger is not one.
constexpr qint64 kMaxFileBytes = 64 * 1024 * 1024;

} // namespace

HistoryFile::HistoryFile(QString path)
    : m_path(std::move(path))
{
}

QString HistoryFile::defaultPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/lumora/history.tsv");
}

QList<HeardTitle> HistoryFile::load()
{
    m_movedAside.clear();
    const QFileInfo info(m_path);
    if (!info.exists())
        return {};
    if (!info.isFile() || info.size() > kMaxFileBytes) {
        moveAside(QStringLiteral("不是一个普通的小文件"));
        return {};
    }
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly)) {
        moveAside(file.errorString());
        return {};
    }
    const QByteArray bytes = file.readAll();
    file.close();
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8(bytes);
    if (utf8.hasError()) {
        moveAside(QStringLiteral("不是 UTF-8 文本"));
        return {};
    }
    QList<HeardTitle> lines;
    const QList<QStringView> raw = QStringView(text).split(u'\n');
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const QStringView line = raw[i];
        if (line.isEmpty())
            continue;
        const HeardTitle heard = HeardTitle::fromTsv(line);
        if (heard.time.isValid()) {
            lines.append(heard);
        } else if (i == raw.size() - 1) {
            // The last line without its line break: a write cut short by a crash. The lines before it stand.
            qCWarning(lcHistory).noquote() << QStringLiteral("歌曲记录的最后一行不完整,已略去:%1").arg(m_path);
        } else {
            moveAside(QStringLiteral("第 %1 行无法读取").arg(i + 1));
            return {};
        }
    }
    return lines;
}

void HistoryFile::moveAside(const QString &why)
{
    const QString aside = m_path + QStringLiteral(".damaged-")
        + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    if (QFile::rename(m_path, aside)) {
        m_movedAside = aside;
        qCWarning(lcHistory).noquote() << QStringLiteral("歌曲记录已损坏(%1),已移到 %2,重新开始记录").arg(why, aside);
    } else if (QFile::remove(m_path)) {
        qCWarning(lcHistory).noquote() << QStringLiteral("歌曲记录已损坏(%1),无法移开,已删除:%2").arg(why, m_path);
    } else {
        qCWarning(lcHistory).noquote() << QStringLiteral("歌曲记录已损坏(%1),无法移开:%2").arg(why, m_path);
    }
}

bool HistoryFile::append(const HeardTitle &line)
{
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    QFile file(m_path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        qCWarning(lcHistory).noquote() << QStringLiteral("无法写入歌曲记录 %1:%2").arg(m_path, file.errorString());
        return false;
    }
    const QByteArray bytes = (line.toTsv() + u'\n').toUtf8();
    const bool written = file.write(bytes) == bytes.size() && file.flush();
    if (!written)
        qCWarning(lcHistory).noquote() << QStringLiteral("无法写入歌曲记录 %1:%2").arg(m_path, file.errorString());
    return written;
}

bool HistoryFile::rewrite(const QList<HeardTitle> &lines)
{
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly)) {
        qCWarning(lcHistory).noquote() << QStringLiteral("无法写入歌曲记录 %1:%2").arg(m_path, file.errorString());
        return false;
    }
    QByteArray bytes;
    for (const HeardTitle &line : lines)
        bytes += (line.toTsv() + u'\n').toUtf8();
    file.write(bytes);
    if (!file.commit()) {
        qCWarning(lcHistory).noquote() << QStringLiteral("无法写入歌曲记录 %1:%2").arg(m_path, file.errorString());
        return false;
    }
    return true;
}
