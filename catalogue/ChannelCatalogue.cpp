#include "ChannelCatalogue.h"

#include "CatalogueLog.h"
#include "LoadReport.h"

using namespace Qt::StringLiterals;

ChannelCatalogue::ChannelCatalogue(const ItemArrayLookup &lookup, ListFileReader::FileHook fileHook)
    : m_fileHook(std::move(fileHook))
{
    const GroupTable::Table &table = GroupTable::groups();
    for (int i = 0; i < GroupTable::kGroupCount; ++i) {
        ChannelGroup &group = m_groups[size_t(i)];
        group.arrayName = table[size_t(i)].arrayName;
        group.listFile = table[size_t(i)].listFile;
        group.menuItems = lookup ? lookup(group.arrayName) : nullptr;
        group.capacity = table[size_t(i)].capacity;
        group.addresses = QList<QString>(group.capacity);
    }
}

void ChannelCatalogue::setReportSink(LoadReport::Sink sink)
{
    m_reportSink = std::move(sink);
}

void ChannelCatalogue::load()
{
    if (m_loaded) {
        return;
    }
    m_loaded = true;
    // One reader for all files: it holds at most one file open at a time.
    ListFileReader reader(ListFileReader::kDefaultChunkSize, m_fileHook);
    for (ChannelGroup &group : m_groups) {
        loadGroup(group, reader);
    }
}

void ChannelCatalogue::loadGroup(ChannelGroup &group, ListFileReader &reader)
{
    LoadReport report(group.listFile, m_reportSink);
    group.recordCount = 0;
    group.readError.clear();
    if (group.menuItems == nullptr) {
        report.fileProblem(u"没有对应的菜单项数组 %1，未载入"_s.arg(group.arrayName));
        report.flush();
        return;
    }
    if (!reader.open(group.listFile)) {
        group.readError = reader.errorString();
        report.fileProblem(u"无法读取（%1），该组保持原样"_s.arg(reader.errorString()));
        report.flush();
        return;
    }
    if (reader.startedWithUtf8Bom()) {
        report.note(u"以 UTF-8 字节顺序标记开头，按 UTF-8 解码"_s);
    } else if (reader.readsUtf8()) {
        report.note(u"没有 UTF-8 字节顺序标记，但内容是 UTF-8 而不是 GBK，按 UTF-8 解码"_s);
    }

    auto where = [&reader] {
        return u"第 %1 条记录（第 %2 行）"_s.arg(reader.recordNumber()).arg(reader.recordLine());
    };
    while (!reader.atEnd()) {
        if (group.recordCount == group.capacity) {
            const int firstLeftOut = reader.recordNumber() + 1;
            int leftOut = 0;
            while (!reader.atEnd()) {
                reader.readRecord();
                ++leftOut;
            }
            report.fileProblem(u"的记录超出本组容量 %1：从第 %2 条记录起的 %3 条记录未载入"_s
                                   .arg(group.capacity)
                                   .arg(firstLeftOut)
                                   .arg(leftOut));
            break;
        }
        const QString record = reader.readRecord();
        // The text of a problem is only made while the report still lists.
        auto problem = [&report](auto &&text) {
            if (report.keepsRecordProblems()) {
                report.recordProblem(text());
            } else {
                report.countRecordProblem();
            }
        };
        if (reader.lastRecordUnclosedQuote()) {
            problem([&] { return where() + u"的双引号没有闭合，已当作普通字符读到下一个分隔符"_s; });
        }
        if (reader.lastRecordTruncated()) {
            problem([&] {
                return where() + u"超过 %1 个字符，多出的部分已舍弃"_s.arg(ListFileReader::kMaxRecordLength);
            });
        }
        const std::optional<ChannelEntry> entry = ListFileReader::parseEntry(record);
        if (!entry) {
            problem([&] {
                return where() + u"只有 %1 个字段（至少要 3 个，用“|”分隔），已跳过"_s.arg(record.count(u'|') + 1);
            });
            continue;
        }
        const int index = group.recordCount++;
        while (group.menuItems->count() <= index) {
            group.menuItems->createNext();
        }
        group.menuItems->setCaption(index, entry->displayName);
        group.addresses[index] = entry->address;
    }

    if (reader.invalidCount() > 0) {
        const QString encoding = reader.readsUtf8() ? u"UTF-8"_s : u"GBK"_s;
        QString text = u"有 %1 处不是有效的 %2 编码，已显示为“\uFFFD”"_s.arg(reader.invalidCount()).arg(encoding);
        if (reader.firstInvalidRecord() > 0) {
            text += u"（第一处在第 %1 条记录）"_s.arg(reader.firstInvalidRecord());
        }
        report.fileProblem(text);
    }
    if (!reader.errorString().isEmpty()) {
        group.readError = reader.errorString();
        report.fileProblem(u"%1，其后的内容未载入"_s.arg(reader.errorString()));
    }
    reader.close();
    report.flush();
}

ChannelGroup &ChannelCatalogue::group(const QString &arrayName)
{
    if (ChannelGroup *found = findGroup(arrayName)) {
        return *found;
    }
    qCCritical(lcCatalogue).noquote() << u"没有名为 %1 的频道组"_s.arg(arrayName);
    m_noGroup = ChannelGroup{};
    return m_noGroup;
}

const ChannelGroup &ChannelCatalogue::group(const QString &arrayName) const
{
    if (const ChannelGroup *found = findGroup(arrayName)) {
        return *found;
    }
    qCCritical(lcCatalogue).noquote() << u"没有名为 %1 的频道组"_s.arg(arrayName);
    return m_noGroup;
}

ChannelGroup *ChannelCatalogue::findGroup(const QString &arrayName)
{
    for (ChannelGroup &group : m_groups) {
        if (group.arrayName == arrayName) {
            return &group;
        }
    }
    return nullptr;
}

const ChannelGroup *ChannelCatalogue::findGroup(const QString &arrayName) const
{
    return const_cast<ChannelCatalogue *>(this)->findGroup(arrayName);
}

ChannelCatalogue::Groups &ChannelCatalogue::groups()
{
    return m_groups;
}

const ChannelCatalogue::Groups &ChannelCatalogue::groups() const
{
    return m_groups;
}
