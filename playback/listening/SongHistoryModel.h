#pragma once

#include <QAbstractTableModel>

class SongHistory;

// The song history as a table, newest first: time, station, title.
class SongHistoryModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column
    {
        Time,
        Station,
        Title,
        ColumnCount
    };

    explicit SongHistoryModel(SongHistory *history, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // The rows as the clipboard takes them: one tab-separated line each, in the table's order.
    QString tsv(const QList<int> &rows) const;

private:
    SongHistory *m_history;
};
