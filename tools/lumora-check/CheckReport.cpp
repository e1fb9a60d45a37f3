#include "CheckReport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include "TextColumns.h"

namespace {

QString seconds(qint64 ms)
{
    return QStringLiteral("%1 秒").arg(double(ms) / 1000.0, 0, 'f', 2);
}

QString kilobits(qint64 bitrate)
{
    return bitrate > 0 ? QStringLiteral("%1 kb/s").arg(qRound64(double(bitrate) / 1000.0)) : QString();
}

QString levelOf(QtMsgType type)
{
    switch (type) {
    case QtInfoMsg:
        return QStringLiteral("note");
    case QtCriticalMsg:
    case QtFatalMsg:
        return QStringLiteral("error");
    default:
        return QStringLiteral("problem");
    }
}

QJsonArray linesJson(const QList<CatalogueSnapshot::Line> &lines)
{
    QJsonArray array;
    for (const CatalogueSnapshot::Line &line : lines) {
        array.append(QJsonObject{{QStringLiteral("level"), levelOf(line.type)}, {QStringLiteral("text"), line.text}});
    }
    return array;
}

} // namespace

CheckReport::CheckReport(const CatalogueSnapshot &catalogue, const Settings &settings)
    : m_catalogue(catalogue)
    , m_settings(settings)
{
}

void CheckReport::setResults(const QHash<QString, ProbeResult> &results, qint64 elapsedMs, int peakParallel)
{
    m_results = results;
    m_elapsedMs = elapsedMs;
    m_peakParallel = peakParallel;
}

const ProbeResult *CheckReport::resultFor(const QString &address) const
{
    auto found = m_results.constFind(address);
    return found == m_results.cend() ? nullptr : &found.value();
}

CheckReport::Counts CheckReport::counts() const
{
    Counts counts;
    for (const CatalogueSnapshot::File &file : m_catalogue.files()) {
        counts.unreadable += file.readable() ? 0 : 1;
        for (const CatalogueSnapshot::Line &line : file.lines) {
            counts.problems += line.type == QtInfoMsg ? 0 : 1;
        }
        for (const ChannelEntry &entry : file.entries) {
            ++counts.entries;
            if (const ProbeResult *result = resultFor(entry.address)) {
                ++(result->plays ? counts.playing : counts.failing);
            }
        }
    }
    return counts;
}

int CheckReport::exitStatus() const
{
    const Counts c = counts();
    bool catalogueUnreadable = false;
    for (const CatalogueSnapshot::Line &line : m_catalogue.catalogueLines()) {
        catalogueUnreadable = catalogueUnreadable || line.type != QtInfoMsg;
    }
    if (c.unreadable > 0 || catalogueUnreadable) {
        return Unreadable;
    }
    return c.problems > 0 || c.failing > 0 ? SomeFail : AllPlay;
}

QString CheckReport::table() const
{
    QStringList out;
    for (const CatalogueSnapshot::Line &line : m_catalogue.catalogueLines()) {
        out.append(line.text);
    }
    for (const CatalogueSnapshot::File &file : m_catalogue.files()) {
        if (!out.isEmpty()) {
            out.append(QString());
        }
        if (file.readable()) {
            out.append(QStringLiteral("%1（%2）：%3 条，容量 %4")
                           .arg(file.listFile, file.arrayName)
                           .arg(file.entries.size())
                           .arg(file.capacity));
        } else {
            out.append(QStringLiteral("%1（%2）：无法读取").arg(file.listFile, file.arrayName));
        }
        for (const CatalogueSnapshot::Line &line : file.lines) {
            out.append(QStringLiteral("  ") + line.text);
        }
        if (file.entries.isEmpty()) {
            continue;
        }
        QList<QStringList> rows;
        if (m_settings.probed) {
            rows.append({QStringLiteral("序号"), QStringLiteral("名称"), QStringLiteral("结果"), QStringLiteral("出声"),
                         QStringLiteral("编码"), QStringLiteral("码率"), QStringLiteral("正在播放 / 地址")});
        } else {
            rows.append({QStringLiteral("序号"), QStringLiteral("名称"), QStringLiteral("地址")});
        }
        for (qsizetype i = 0; i < file.entries.size(); ++i) {
            const ChannelEntry &entry = file.entries.at(i);
            const QString number = QString::number(i + 1);
            if (!m_settings.probed) {
                rows.append({number, entry.displayName, entry.address});
                continue;
            }
            const ProbeResult *result = resultFor(entry.address);
            if (result && result->plays) {
                rows.append({number, entry.displayName, QStringLiteral("可以播放"), seconds(result->firstAudioMs),
                             result->codec, kilobits(result->bitrate), result->title});
            } else {
                const QString reason = result ? result->reason : QStringLiteral("未检查");
                // What fails is looked up by its address: it takes the title's place.
                rows.append({number, entry.displayName, QStringLiteral("无法播放：") + reason, QString(), QString(),
                             QString(), entry.address});
            }
        }
        out += TextColumns::layout(rows, 2);
    }

    const Counts c = counts();
    out.append(QString());
    QString summary = QStringLiteral("共 %1 个列表文件，%2 条").arg(m_catalogue.files().size()).arg(c.entries);
    if (c.unreadable > 0) {
        summary += QStringLiteral("；%1 个文件无法读取").arg(c.unreadable);
    }
    if (c.problems > 0) {
        summary += QStringLiteral("；载入时有 %1 个问题").arg(c.problems);
    }
    if (m_settings.probed) {
        summary += QStringLiteral("；可以播放 %1 条，无法播放 %2 条；用时 %3（同时最多 %4 个，每个限时 %5 秒）")
                       .arg(c.playing)
                       .arg(c.failing)
                       .arg(seconds(m_elapsedMs))
                       .arg(m_peakParallel)
                       .arg(m_settings.timeoutSeconds);
    }
    out.append(summary);
    return out.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

QByteArray CheckReport::json() const
{
    QJsonArray files;
    for (const CatalogueSnapshot::File &file : m_catalogue.files()) {
        QJsonArray entries;
        for (qsizetype i = 0; i < file.entries.size(); ++i) {
            const ChannelEntry &entry = file.entries.at(i);
            QJsonObject object{
                {QStringLiteral("index"), int(i)},
                {QStringLiteral("name"), entry.displayName},
                {QStringLiteral("address"), entry.address},
            };
            if (const ProbeResult *result = resultFor(entry.address)) {
                const QJsonObject probe = result->toJson();
                for (auto it = probe.begin(); it != probe.end(); ++it) {
                    object.insert(it.key(), it.value());
                }
            }
            entries.append(object);
        }
        files.append(QJsonObject{
            {QStringLiteral("file"), file.listFile},
            {QStringLiteral("array"), file.arrayName},
            {QStringLiteral("capacity"), file.capacity},
            {QStringLiteral("count"), int(file.entries.size())},
            {QStringLiteral("readable"), file.readable()},
            {QStringLiteral("readError"), file.readError},
            {QStringLiteral("problems"), linesJson(file.lines)},
            {QStringLiteral("entries"), entries},
        });
    }
    const Counts c = counts();
    QJsonObject summary{
        {QStringLiteral("files"), int(m_catalogue.files().size())},
        {QStringLiteral("unreadable"), c.unreadable},
        {QStringLiteral("problems"), c.problems},
        {QStringLiteral("entries"), c.entries},
    };
    if (m_settings.probed) {
        summary.insert(QStringLiteral("playing"), c.playing);
        summary.insert(QStringLiteral("failing"), c.failing);
        summary.insert(QStringLiteral("elapsedMs"), m_elapsedMs);
        summary.insert(QStringLiteral("peakParallel"), m_peakParallel);
    }
    const QJsonObject root{
        {QStringLiteral("folder"), m_catalogue.folder()},
        {QStringLiteral("probed"), m_settings.probed},
        {QStringLiteral("parallel"), m_settings.parallel},
        {QStringLiteral("timeoutSeconds"), m_settings.timeoutSeconds},
        {QStringLiteral("catalogueProblems"), linesJson(m_catalogue.catalogueLines())},
        {QStringLiteral("files"), files},
        {QStringLiteral("summary"), summary},
        {QStringLiteral("exitStatus"), exitStatus()},
    };
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

QString CheckReport::progressLine(int done, int total, int running, int playing)
{
    return QStringLiteral("已检查 %1/%2 个地址：可以播放 %3，无法播放 %4；正在检查 %5 个")
        .arg(done)
        .arg(total)
        .arg(playing)
        .arg(done - playing)
        .arg(running);
}
