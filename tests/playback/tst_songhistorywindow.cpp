#include <QApplication>
#include <QClipboard>
#include <QItemSelectionModel>
#include <QMessageBox>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

#include "SongHistory.h"
#include "SongHistoryWindow.h"

using namespace Qt::StringLiterals;

// The song history window as the listener uses it: newest first, lines
// copied with Ctrl+C, the list cleared only after saying yes.
class TestSongHistoryWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void newestFirstAndCopied();
    void clearsOnlyAfterYes_data();
    void clearsOnlyAfterYes();

private:
    static QDateTime at(int minute) { return QDateTime(QDate(2026, 12, 10), QTime(21, minute), QTimeZone(8 * 3600)); }
    QTemporaryDir m_dir;
};

void TestSongHistoryWindow::newestFirstAndCopied()
{
    SongHistory history(m_dir.filePath(u"a/history.tsv"_s));
    history.heard(u"中国之声"_s, u"第一首"_s, at(1));
    SongHistoryWindow window(&history);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTableView *view = window.view();
    // A title arriving while the window is open comes in at the top.
    history.heard(u"音乐之声"_s, u"第二首"_s, at(2));
    QCOMPARE(view->model()->rowCount(), 2);
    QCOMPARE(view->model()->index(0, 2).data().toString(), u"第二首"_s);
    QCOMPARE(view->model()->index(0, 0).data().toString(), u"2026-12-10 21:02:00"_s);
    QCOMPARE(view->model()->index(1, 1).data().toString(), u"中国之声"_s);

    // A Wayland client may set the clipboard only in answer to a user's input
    // event, which a test's key click is not: there only the order is checked.
    if (QGuiApplication::platformName() == QLatin1String("wayland"))
        return;
    view->setFocus();
    view->selectAll();
    QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->text(),
             u"2026-12-10T21:02:00+08:00\t音乐之声\t第二首\n2026-12-10T21:01:00+08:00\t中国之声\t第一首\n"_s);

    view->clearSelection();
    view->selectionModel()->select(view->model()->index(1, 0),
                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
    window.copySelection();
    QCOMPARE(QApplication::clipboard()->text(), u"2026-12-10T21:01:00+08:00\t中国之声\t第一首\n"_s);
}

void TestSongHistoryWindow::clearsOnlyAfterYes_data()
{
    QTest::addColumn<bool>("yes");
    QTest::newRow("no") << false;
    QTest::newRow("yes") << true;
}

void TestSongHistoryWindow::clearsOnlyAfterYes()
{
    QFETCH(bool, yes);
    SongHistory history(m_dir.filePath(u"b%1/history.tsv"_s.arg(yes)));
    history.heard(u"A"_s, u"one"_s, at(1));
    SongHistoryWindow window(&history);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto *clear = window.findChild<QPushButton *>();
    QVERIFY(clear && clear->isEnabled());
    clear->click();
    QMessageBox *question = nullptr;
    QTRY_VERIFY((question = window.findChild<QMessageBox *>()) && question->isVisible());
    question->button(yes ? QMessageBox::Yes : QMessageBox::No)->click();
    QCOMPARE(history.lines().size(), yes ? 0 : 1);
    QCOMPARE(window.view()->model()->rowCount(), yes ? 0 : 1);
    QCOMPARE(clear->isEnabled(), !yes);
}

QTEST_MAIN(TestSongHistoryWindow)
#include "tst_songhistorywindow.moc"
