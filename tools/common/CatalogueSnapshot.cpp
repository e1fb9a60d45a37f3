#include "CatalogueSnapshot.h"

#include <map>
#include <memory>

#include <QDir>
#include <QFileInfo>

#include "CaptionList.h"
#include "ChannelCatalogue.h"

bool CatalogueSnapshot::File::hasProblems() const
{
    for (const Line &line : lines) {
        if (line.type != QtInfoMsg) {
            return true;
        }
    }
    return !readable();
}

bool CatalogueSnapshot::load(const QString &folder)
{
    m_error.clear();
    m_files.clear();
    m_catalogueLines.clear();
    const QFileInfo info(folder);
    m_folder = info.absoluteFilePath();
    if (!info.exists()) {
        m_error = QStringLiteral("目录 \"%1\" 不存在").arg(folder);
        return false;
    }
    if (!info.isDir()) {
        m_error = QStringLiteral("\"%1\" 不是目录").arg(folder);
        return false;
    }
    const QString home = QDir::currentPath();
    if (!QDir::setCurrent(m_folder)) {
        m_error = QStringLiteral("无法进入目录 \"%1\"").arg(folder);
        return false;
    }

    std::map<QString, std::unique_ptr<CaptionList>> menus;
    for (const GroupDefinition &definition : GroupTable::groups()) {
        menus[QString(definition.arrayName)] = std::make_unique<CaptionList>();
    }
    ChannelCatalogue catalogue([&menus](const QString &arrayName) -> ItemArray * {
        auto found = menus.find(arrayName);
        return found == menus.end() ? nullptr : found->second.get();
    });
    std::map<QString, QList<Line>> lines;
    catalogue.setReportSink([&](const QString &listFile, QtMsgType type, const QString &text) {
        if (listFile.isEmpty()) {
            m_catalogueLines.append({type, text});
        } else {
            lines[listFile].append({type, text});
        }
    });
    catalogue.load();
    QDir::setCurrent(home);

    for (const ChannelGroup &group : catalogue.groups()) {
        File file;
        file.listFile = group.listFile;
        file.arrayName = group.arrayName;
        file.capacity = group.capacity;
        file.readError = group.readError;
        file.lines = lines[group.listFile];
        for (int i = 0; i < group.recordCount; ++i) {
            file.entries.append({group.menuItems->caption(i), group.addressAt(i)});
        }
        m_files.append(file);
    }
    return true;
}

const CatalogueSnapshot::File *CatalogueSnapshot::find(const QString &listFileOrArray) const
{
    for (const File &file : m_files) {
        if (file.listFile == listFileOrArray || file.arrayName == listFileOrArray) {
            return &file;
        }
    }
    return nullptr;
}
