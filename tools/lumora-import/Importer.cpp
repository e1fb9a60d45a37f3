#include "Importer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSet>
#include <QUrl>

#include "AddressPolicy.h"
#include "CatalogueSnapshot.h"
#include "ChannelCatalogue.h"
#include "GbkText.h"
#include "ListRecord.h"
#include "PlaylistReader.h"

namespace {

bool isRelative(const QString &address)
{
    if (AddressPolicy::classify(address).kind != AddressPolicy::Kind::LocalFile) {
        return false;
    }
    if (address.startsWith(QLatin1String("file:"), Qt::CaseInsensitive) || address.startsWith(u'/')
        || address.startsWith(u'~')) {
        return false;
    }
    // "C:\…" or "C:/…", a path on another system, is absolute all the same.
    return !(address.size() > 2 && address.at(1) == u':' && address.at(0).isLetter());
}

QString resolved(const QString &address, const QString &base)
{
    if (base.contains(QLatin1String("://"))) {
        return QUrl(base).resolved(QUrl(address)).toString();
    }
    return QDir::cleanPath(QDir(base).absoluteFilePath(address));
}

// A name for an entry the playlist gives none: the file the address names,
// or its server.
QString nameFromAddress(const QString &address)
{
    if (address.contains(QLatin1String("://"))) {
        const QUrl url(address);
        const QString file = url.fileName();
        return file.isEmpty() ? url.host() : file;
    }
    return QFileInfo(address).fileName();
}

QString listOfNames()
{
    QStringList names;
    for (const GroupDefinition &definition : GroupTable::groups()) {
        names.append(QString(definition.listFile));
    }
    return names.join(QStringLiteral("、"));
}

} // namespace

Importer::Outcome Importer::plan(const Request &request)
{
    Outcome outcome;
    CatalogueSnapshot catalogue;
    if (!catalogue.load(request.folder)) {
        outcome.messages.append(catalogue.error());
        return outcome;
    }
    const CatalogueSnapshot::File *file = catalogue.find(request.listFile);
    if (!file) {
        outcome.messages.append(
            QStringLiteral("没有名为“%1”的列表文件；可以写入的是：%2").arg(request.listFile, listOfNames()));
        return outcome;
    }
    outcome.target = file->listFile;
    outcome.capacity = file->capacity;
    const QString path = QDir(catalogue.folder()).filePath(file->listFile);
    const bool exists = QFileInfo::exists(path);
    QByteArray before;
    if (!request.replace && exists) {
        QFile existing(path);
        if (!file->readable() || !existing.open(QIODevice::ReadOnly)) {
            outcome.messages.append(QStringLiteral("无法读取 %1（%2），没有写入").arg(file->listFile, file->readError));
            return outcome;
        }
        before = existing.readAll();
        outcome.existing = int(file->entries.size());
    }
    const bool utf8 = before.startsWith("\xEF\xBB\xBF");

    const PlaylistReader::Playlist playlist = PlaylistReader::read(request.playlist, request.encoding);
    if (!playlist.error.isEmpty()) {
        outcome.messages.append(playlist.error);
        return outcome;
    }
    if (playlist.encoding != QLatin1String("UTF-8")) {
        outcome.messages.append(QStringLiteral("播放列表按 %1 解码").arg(playlist.encoding));
    }
    outcome.messages += playlist.notes;
    if (utf8) {
        outcome.messages.append(
            QStringLiteral("%1 以 UTF-8 字节顺序标记开头，按 UTF-8 读取，新记录也以 UTF-8 写入").arg(file->listFile));
    }

    QString base = request.base;
    if (base.isEmpty() && !request.playlistLocation.isEmpty()) {
        base = QFileInfo(request.playlistLocation).absolutePath();
    }
    QSet<QString> seen;
    if (!request.replace) {
        for (const ChannelEntry &entry : file->entries) {
            seen.insert(entry.address.trimmed());
        }
    }
    int room = std::max(0, outcome.capacity - outcome.existing);
    int firstLeftOut = 0;
    int number = 0;
    for (const PlaylistReader::Entry &entry : playlist.entries) {
        if (!request.group.isEmpty() && entry.group != request.group) {
            continue;
        }
        ++number;
        const QString where = QStringLiteral("第 %1 个条目（第 %2 行）").arg(number).arg(entry.line);
        QString address = entry.address;
        if (isRelative(address)) {
            if (base.isEmpty()) {
                outcome.messages.append(
                    where + QStringLiteral("的地址“%1”是相对地址，没有可依据的位置（用 --base 给出），已跳过").arg(address));
                ++outcome.unusable;
                continue;
            }
            address = resolved(address, base);
        }
        const AddressPolicy::Verdict verdict = AddressPolicy::classify(address);
        if (verdict.kind == AddressPolicy::Kind::Refused) {
            outcome.messages.append(where + QStringLiteral("的地址“%1”播放器不会打开：%2，已跳过").arg(address, verdict.refusal.text()));
            ++outcome.unusable;
            continue;
        }
        const ListRecord::Address fitted = ListRecord::address(address);
        if (!fitted.problem.isEmpty()) {
            outcome.messages.append(where + QStringLiteral("的地址“%1”%2，已跳过").arg(address, fitted.problem));
            ++outcome.unusable;
            continue;
        }
        if (fitted.encoded) {
            outcome.messages.append(where + QStringLiteral("的地址中列表文件无法保存的字符已按百分号编码写作“%1”").arg(fitted.text));
        }

        QString raw = !entry.title.isEmpty() ? entry.title : entry.tvgName;
        if (raw.trimmed().isEmpty()) {
            raw = nameFromAddress(fitted.text);
            outcome.messages.append(where + QStringLiteral("没有名称，用了“%1”").arg(raw));
        }
        const GbkText::Name name = GbkText::name(raw, request.replacement);
        if (name.bar) {
            outcome.messages.append(where + QStringLiteral("的名称中的“|”会截断记录，已写作全角“｜”"));
        }
        if (name.quote) {
            outcome.messages.append(where + QStringLiteral("的名称中的双引号已写作全角“＂”"));
        }
        if (name.transliterated || name.replaced) {
            outcome.messages.append(where + QStringLiteral("的名称“%1”有 GBK 无法表示的字符，已%2写作“%3”")
                                                .arg(raw,
                                                     name.replaced && name.transliterated ? QStringLiteral("转写并替换，")
                                                     : name.replaced                      ? QStringLiteral("替换，")
                                                                                          : QStringLiteral("转写，"),
                                                     name.text));
        }

        if (!request.keepDuplicates && seen.contains(fitted.text)) {
            outcome.messages.append(where + QStringLiteral("“%1”的地址已在列表中，已跳过").arg(name.text));
            ++outcome.duplicates;
            continue;
        }
        if (room == 0) {
            if (outcome.leftOut++ == 0) {
                firstLeftOut = number;
            }
            continue;
        }
        seen.insert(fitted.text);
        --room;
        outcome.records.append(ListRecord::record(name.text, fitted.text));
    }
    outcome.written = int(outcome.records.size());

    QByteArray added = ListRecord::encode(outcome.records, utf8);
    if (!before.isEmpty() && !before.endsWith('\n') && !before.endsWith('\r') && !added.isEmpty()) {
        added.prepend("\r\n");
    }
    outcome.content = before + added;

    QString summary = request.replace
        ? QStringLiteral("%1 的内容换成了 %2 条（容量 %3）").arg(outcome.target).arg(outcome.written).arg(outcome.capacity)
        : QStringLiteral("向 %1 追加了 %2 条（原有 %3 条，容量 %4）")
              .arg(outcome.target)
              .arg(outcome.written)
              .arg(outcome.existing)
              .arg(outcome.capacity);
    if (outcome.leftOut > 0) {
        summary += QStringLiteral("；%1 条超出容量，没有写入（从第 %2 个条目起）").arg(outcome.leftOut).arg(firstLeftOut);
    }
    if (outcome.duplicates > 0) {
        summary += QStringLiteral("；%1 条重复，已跳过").arg(outcome.duplicates);
    }
    if (outcome.unusable > 0) {
        summary += QStringLiteral("；%1 条无法使用，已跳过").arg(outcome.unusable);
    }
    outcome.messages.append(summary);
    outcome.status = outcome.leftOut > 0 || outcome.unusable > 0 ? LeftOut : Done;
    return outcome;
}

bool Importer::write(const Request &request, const Outcome &outcome, QString *error)
{
    const QString path = QDir(request.folder).filePath(outcome.target);
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        *error = QStringLiteral("无法建立目录 %1").arg(QFileInfo(path).absolutePath());
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(outcome.content) != outcome.content.size() || !file.commit()) {
        *error = QStringLiteral("无法写入 %1：%2").arg(path, file.errorString());
        return false;
    }
    return true;
}
