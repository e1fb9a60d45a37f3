#include "SongHistoryModel.h"

#include <algorithm>

#include "SongHistory.h"

SongHistoryModel::SongHistoryModel(SongHistory *history, QObject *parent)
    : QAbstractTableModel(parent)
    , m_history(history)
{
    connect(history, &SongHistory::added, this, [this] {
        beginInsertRows({}, 0, 0);
        endInsertRows();
    });
    connect(history, &SongHistory::reset, this, [this] {
        beginResetModel();
        endResetModel();
    });
}

int SongHistoryModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_history->lines().size());
}

int SongHistoryModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant SongHistoryModel::data(const QModelIndex &index, int role) const
{
    const QList<HeardTitle> &lines = m_history->lines();
    if (!index.isValid() || index.row() >= lines.size() || (role != Qt::DisplayRole && role != Qt::ToolTipRole))
        return {};
    const HeardTitle &line = lines.at(lines.size() - 1 - index.row());
    switch (index.column()) {
    case Time:
        return role == Qt::ToolTipRole ? line.time.toString(Qt::ISODate)
                                       : line.time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    case Station:
        return line.station;
    case Title:
        return line.title;
    default:
        return {};
    }
}

QVariant SongHistoryModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case Time:
        return QStringLiteral("时间");
    case Station:
        return QStringLiteral("电台");
    case Title:
        return QStringLiteral("歌曲");
    default:
        return {};
    }
}

QString SongHistoryModel::tsv(const QList<int> &rows) const
{
    QList<int> sorted = rows;
    std::sort(sorted.begin(), sorted.end());
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    const QList<HeardTitle> &lines = m_history->lines();
    QString out;
    for (int row : sorted) {
        if (row >= 0 && row < lines.size())
            out += lines.at(lines.size() - 1 - row).toTsv() + u'\n';
    }
    return out;
}
