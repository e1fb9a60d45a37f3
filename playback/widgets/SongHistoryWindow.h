#pragma once

#include <QWidget>

class QPushButton;
class QTableView;
class SongHistory;
class SongHistoryModel;

// The titles heard, newest first. Lines can be selected and copied (Ctrl+C or
// the context menu: time, station and title, tab-separated), and the whole
// list cleared after a question.
class SongHistoryWindow : public QWidget
{
    Q_OBJECT

public:
    explicit SongHistoryWindow(SongHistory *history, QWidget *parent = nullptr);

    QTableView *view() const { return m_view; }
    // Puts the selected lines on the clipboard.
    void copySelection();
    // Asks first; clears when the answer is yes.
    void askToClear();

private:
    void showContextMenu(const QPoint &pos);

    SongHistory *m_history;
    SongHistoryModel *m_model;
    QTableView *m_view;
    QPushButton *m_clear;
};
