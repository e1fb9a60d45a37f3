#include "SongHistoryWindow.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeySequence>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

#include "SongHistory.h"
#include "SongHistoryModel.h"

SongHistoryWindow::SongHistoryWindow(SongHistory *history, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_history(history)
    , m_model(new SongHistoryModel(history, this))
    , m_view(new QTableView(this))
    , m_clear(new QPushButton(QStringLiteral("清空记录…"), this))
{
    setWindowTitle(QStringLiteral("歌曲记录"));
    setAccessibleName(QStringLiteral("歌曲记录"));
    resize(640, 400);

    m_view->setModel(m_model);
    m_view->setAccessibleName(QStringLiteral("听过的歌曲"));
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->setWordWrap(false);
    m_view->verticalHeader()->hide();
    m_view->horizontalHeader()->setStretchLastSection(true);
    m_view->horizontalHeader()->setSectionResizeMode(SongHistoryModel::Time, QHeaderView::ResizeToContents);
    m_view->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_view, &QWidget::customContextMenuRequested, this, &SongHistoryWindow::showContextMenu);

    auto *copy = new QAction(QStringLiteral("复制"), m_view);
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(copy, &QAction::triggered, this, &SongHistoryWindow::copySelection);
    m_view->addAction(copy);

    m_clear->setAccessibleName(QStringLiteral("清空歌曲记录"));
    connect(m_clear, &QPushButton::clicked, this, &SongHistoryWindow::askToClear);
    auto update = [this] { m_clear->setEnabled(m_model->rowCount() > 0); };
    connect(m_model, &QAbstractItemModel::rowsInserted, this, update);
    connect(m_model, &QAbstractItemModel::modelReset, this, update);
    update();

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_clear);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_view);
    layout->addLayout(buttons);
}

void SongHistoryWindow::copySelection()
{
    QList<int> rows;
    for (const QModelIndex &index : m_view->selectionModel()->selectedRows())
        rows.append(index.row());
    if (!rows.isEmpty())
        QApplication::clipboard()->setText(m_model->tsv(rows));
}

void SongHistoryWindow::askToClear()
{
    auto *question = new QMessageBox(QMessageBox::Question, QStringLiteral("歌曲记录"),
                                     QStringLiteral("清空全部歌曲记录?此操作无法撤销。"),
                                     QMessageBox::Yes | QMessageBox::No, this);
    question->setDefaultButton(QMessageBox::No);
    question->setAttribute(Qt::WA_DeleteOnClose);
    connect(question, &QMessageBox::finished, this, [this](int answer) {
        if (answer == QMessageBox::Yes)
            m_history->clear();
    });
    question->open();
}

void SongHistoryWindow::showContextMenu(const QPoint &pos)
{
    auto *menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QAction *copy = menu->addAction(QStringLiteral("复制"), this, &SongHistoryWindow::copySelection);
    copy->setEnabled(m_view->selectionModel()->hasSelection());
    QAction *clear = menu->addAction(QStringLiteral("清空记录…"), this, &SongHistoryWindow::askToClear);
    clear->setEnabled(m_model->rowCount() > 0);
    menu->popup(m_view->viewport()->mapToGlobal(pos));
}
