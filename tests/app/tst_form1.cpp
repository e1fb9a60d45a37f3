#include <QAction>
#include <QDir>
#include <QLoggingCategory>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QGuiApplication>
#include <QTest>
#include <QTimer>

#include "AboutText.h"
#include "AppTitle.h"
#include "Form1.h"
#include "MediaPlayer.h"
#include "MenuItemArray.h"
#include "MenuTree.h"
#include "MpvVideoWindow.h"
#include "PlayerSettings.h"
#include "Version.h"

namespace {

MpvCore::Options silentEngine()
{
    MpvCore::Options options;
    options.audioOutput = QStringLiteral("null");
    return options;
}

struct Submenu
{
    QString name;
    QString caption;
};

const QList<Submenu> kRadioSubmenus = {
    {QStringLiteral("ah0"), QStringLiteral("安徽")},      {QStringLiteral("gd0"), QStringLiteral("广东")},
    {QStringLiteral("gx0"), QStringLiteral("广西")},      {QStringLiteral("hb0"), QStringLiteral("河北")},
    {QStringLiteral("hn0"), QStringLiteral("河南")},      {QStringLiteral("hlj0"), QStringLiteral("黑龙江")},
    {QStringLiteral("hubei0"), QStringLiteral("湖北")},   {QStringLiteral("js0"), QStringLiteral("江苏")},
    {QStringLiteral("jx0"), QStringLiteral("江西")},      {QStringLiteral("ln0"), QStringLiteral("辽宁")},
    {QStringLiteral("sc0"), QStringLiteral("四川")},      {QStringLiteral("sd0"), QStringLiteral("山东")},
    {QStringLiteral("cri0"), QStringLiteral("中国国际广播电台")},
    {QStringLiteral("cnr0"), QStringLiteral("中央人民广播电台")},
};

// Records the caption the window has at the moment it is first shown.
class ShowWatcher : public QObject
{
public:
    QString captionAtShow;
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show && captionAtShow.isNull())
            captionAtShow = static_cast<QWidget *>(watched)->windowTitle();
        return false;
    }
};

}

// The main window as start-up builds it: caption, menu tree, player place,
// About box.
class TestForm1 : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void appTitle_data();
    void appTitle();
    void startUpCaptionsBeforeShowing();
    void menuTreeAsCreated();
    void itemArrays();
    void captionsAreShownAsWritten();
    void aboutBox();
    void designPlacement();

private:
    QTemporaryDir m_emptyCatalogue;
};

void TestForm1::initTestCase()
{
    // Start-up reads the list files of the working directory; here there are
    // none, which loads every group as designed.
    QVERIFY(m_emptyCatalogue.isValid());
    QVERIFY(QDir::setCurrent(m_emptyCatalogue.path()));
    QLoggingCategory::setFilterRules(QStringLiteral("lumora.catalogue.warning=false"));
}

void TestForm1::appTitle_data()
{
    QTest::addColumn<int>("major");
    QTest::addColumn<int>("minor");
    QTest::addColumn<int>("revision");
    QTest::addColumn<QString>("title");
    QTest::newRow("1.3.0") << 1 << 3 << 0 << QStringLiteral("Lumora V1.3.0");
    QTest::newRow("minor of 10") << 1 << 10 << 0 << QStringLiteral("Lumora V1.10.0");
    QTest::newRow("zeros") << 0 << 0 << 0 << QStringLiteral("Lumora V0.0.0");
    QTest::newRow("large") << 12 << 345 << 6789 << QStringLiteral("Lumora V12.345.6789");
}

void TestForm1::appTitle()
{
    QFETCH(int, major);
    QFETCH(int, minor);
    QFETCH(int, revision);
    QFETCH(QString, title);
    QCOMPARE(AppTitle::build(major, minor, revision), title);
}

void TestForm1::startUpCaptionsBeforeShowing()
{
    QCOMPARE(Version::kMajor, 1);
    QCOMPARE(Version::kMinor, 3);
    QCOMPARE(Version::kRevision, 0);

    Form1 form(silentEngine());
    QCOMPARE(form.windowTitle(), QStringLiteral("Lumora"));
    QCOMPARE(form.player()->settings()->volume(), 50);
    QVERIFY(form.player()->URL().isEmpty());

    ShowWatcher watcher;
    form.installEventFilter(&watcher);
    form.LoadMainWindow();
    QCOMPARE(form.appTitle(), QStringLiteral("Lumora V1.3.0"));
    QCOMPARE(form.player()->settings()->volume(), 100);
    QVERIFY(!form.isVisible());
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QCOMPARE(watcher.captionAtShow, QStringLiteral("Lumora V1.3.0"));
    QCOMPARE(form.windowState(), Qt::WindowNoState);

    // First shown in the middle of the screen. A Wayland compositor places
    // windows itself and tells a client nothing of where.
    if (QGuiApplication::platformName() == QLatin1String("wayland"))
        return;
    const QPoint centre = form.screen()->availableGeometry().center();
    QVERIFY2((form.frameGeometry().center() - centre).manhattanLength() <= 40,
             qPrintable(QStringLiteral("window centre %1,%2")
                            .arg(form.frameGeometry().center().x())
                            .arg(form.frameGeometry().center().y())));
}

void TestForm1::menuTreeAsCreated()
{
    Form1 form(silentEngine());
    const QList<QAction *> top = form.menuBar()->actions();
    QCOMPARE(top.size(), 4);
    const QStringList topNames = {QStringLiteral("gb"), QStringLiteral("tv"), QStringLiteral("xs"), QStringLiteral("about")};
    const QStringList topCaptions = {QStringLiteral("广播"), QStringLiteral("电视"), QStringLiteral("相声"), QStringLiteral("关于")};
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(top[i]->text(), topCaptions[i]);
        const QString name = top[i]->menu() ? top[i]->menu()->objectName() : top[i]->objectName();
        QCOMPARE(name, topNames[i]);
    }
    QVERIFY(!top[3]->menu());

    // 广播: fourteen submenus in menu order, each holding one item captioned
    // like the submenu, then the radio list.
    const QList<QAction *> gb = top[0]->menu()->actions();
    QCOMPARE(gb.size(), kRadioSubmenus.size() + 1);
    for (int i = 0; i < kRadioSubmenus.size(); ++i) {
        QMenu *sub = gb[i]->menu();
        QVERIFY2(sub, qPrintable(kRadioSubmenus[i].name));
        QCOMPARE(sub->objectName(), kRadioSubmenus[i].name);
        QCOMPARE(sub->title(), kRadioSubmenus[i].caption);
        QCOMPARE(sub->actions().size(), 1);
        QAction *item = sub->actions().first();
        QCOMPARE(item->text(), kRadioSubmenus[i].caption);
        QCOMPARE(item->objectName() + QLatin1Char('0'), kRadioSubmenus[i].name);
    }
    QCOMPARE(gb.last()->objectName(), QStringLiteral("gblist"));
    QCOMPARE(gb.last()->text(), QStringLiteral("广播列表"));
    QCOMPARE(top[1]->menu()->actions().size(), 1);
    QCOMPARE(top[1]->menu()->actions().first()->text(), QStringLiteral("电视列表"));
    QCOMPARE(top[2]->menu()->actions().size(), 1);
    QCOMPARE(top[2]->menu()->actions().first()->text(), QStringLiteral("相声列表"));

    // No shortcut, check mark, separator, or disabled or hidden entry anywhere.
    const QList<QAction *> all = form.menuBar()->findChildren<QAction *>();
    QVERIFY(all.size() >= 17 + 4);
    for (QAction *a : all) {
        QVERIFY(a->shortcut().isEmpty());
        QVERIFY(!a->isCheckable());
        QVERIFY(!a->isSeparator());
        QVERIFY(a->isEnabled());
        QVERIFY(a->isVisible());
    }
}

void TestForm1::itemArrays()
{
    Form1 form(silentEngine());
    QCOMPARE(form.menuTree().arrays().size(), 17);
    for (MenuItemArray *array : form.menuTree().arrays())
        QCOMPARE(array->count(), 1);

    // New items stand directly after the last one, in the same menu, and a
    // click reports the item's index.
    MenuItemArray *gblist = form.itemArray(QStringLiteral("gblist"));
    gblist->createNext();
    gblist->createNext();
    gblist->setCaption(1, QStringLiteral("一"));
    gblist->setCaption(2, QStringLiteral("二"));
    const QList<QAction *> gb = gblist->menu()->actions();
    QCOMPARE(gb.size(), 17);
    QCOMPARE(gb.at(14), gblist->item(0));
    QCOMPARE(gb.at(15)->text(), QStringLiteral("一"));
    QCOMPARE(gb.at(16)->text(), QStringLiteral("二"));

    MenuItemArray *ah = form.itemArray(QStringLiteral("ah"));
    ah->createNext();
    QCOMPARE(ah->menu()->actions().size(), 2);
    QCOMPARE(ah->menu()->objectName(), QStringLiteral("ah0"));

    QSignalSpy clicks(gblist, &MenuItemArray::clicked);
    gblist->item(2)->trigger();
    gblist->item(0)->trigger();
    QCOMPARE(clicks.count(), 2);
    QCOMPARE(clicks.at(0).at(0).value<qint16>(), qint16(2));
    QCOMPARE(clicks.at(1).at(0).value<qint16>(), qint16(0));
}

void TestForm1::captionsAreShownAsWritten()
{
    Form1 form(silentEngine());
    MenuItemArray *xs = form.itemArray(QStringLiteral("xslist"));
    const QStringList captions = {QStringLiteral("马三立&王凤山"), QStringLiteral("名段\t精选"),
                                  QStringLiteral("  前后空格  "), QStringLiteral("&&&"), QStringLiteral("[*]标记")};
    for (int i = 1; i < captions.size(); ++i)
        xs->createNext();
    for (int i = 0; i < captions.size(); ++i)
        xs->setCaption(i, captions[i]);
    for (int i = 0; i < captions.size(); ++i)
        QCOMPARE(xs->caption(i), captions[i]);
    // An ampersand is text, not a mnemonic; a tab opens no shortcut column.
    QCOMPARE(xs->item(0)->text(), QStringLiteral("马三立&&王凤山"));
    QVERIFY(!xs->item(1)->text().contains(QLatin1Char('\t')));
    QVERIFY(xs->item(1)->shortcut().isEmpty());

    // The window caption shows "[*]" as written, too.
    form.setCaption(QStringLiteral("Lumora V1.3.0 正在播放:[*]标记"));
    QCOMPARE(form.caption(), QStringLiteral("Lumora V1.3.0 正在播放:[*]标记"));
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QCOMPARE(form.windowHandle()->title(), QStringLiteral("Lumora V1.3.0 正在播放:[*]标记"));
}

void TestForm1::aboutBox()
{
    QCOMPARE(AboutText::build(QStringLiteral("Lumora V1.3.0"), QStringLiteral("123"), QStringLiteral("a@b.c"),
                              QStringLiteral("https://h.example/")),
             QStringLiteral("软件:Lumora V1.3.0\r\nQQ:123\r\nE-mail:a@b.c\r\nhttps://h.example/"));

    Form1 form(silentEngine());
    form.LoadMainWindow();
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    const QString expected = QStringLiteral("软件:Lumora V1.3.0\r\nQQ:%1\r\nE-mail:%2\r\n%3")
                                 .arg(QString::fromUtf8(Version::kQq), QString::fromUtf8(Version::kEmail),
                                      QString::fromUtf8(Version::kHomepage));
    QCOMPARE(form.aboutText(), expected);
    QVERIFY(!form.aboutText().endsWith(QLatin1Char('\n')));

    // Twice, through the menu command: modal, titled, no icon, one OK button;
    // the caption stays as it was.
    for (int round = 0; round < 2; ++round) {
        bool seen = false;
        QTimer::singleShot(0, this, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            QVERIFY(box);
            seen = true;
            QCOMPARE(box->windowTitle(), QStringLiteral("关于作者"));
            QCOMPARE(box->text(), expected);
            QCOMPARE(box->icon(), QMessageBox::NoIcon);
            QCOMPARE(box->buttons().size(), 1);
            QCOMPARE(box->standardButton(box->buttons().first()), QMessageBox::Ok);
            QVERIFY(box->isModal());
            box->buttons().first()->click();
        });
        form.menuTree().about()->trigger();
        QVERIFY(seen);
        QCOMPARE(form.caption(), QStringLiteral("Lumora V1.3.0"));
    }
}

void TestForm1::designPlacement()
{
    Form1 form(silentEngine());
    form.LoadMainWindow();
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QCOMPARE(form.logicalDpiX(), 96);
    MediaPlayer *player = form.player();
    QCOMPARE(player->objectName(), QStringLiteral("WindowsMediaPlayer1"));
    QCOMPARE(player->parentWidget(), form.clientArea());
    QCOMPARE(player->left(), 0.f);
    QCOMPARE(player->top(), 0.f);
    QCOMPARE(player->widthTwips(), 8175.f);
    QCOMPARE(player->heightTwips(), 975.f);
    QCOMPARE(player->geometry(), QRect(0, 0, 545, 65));
    QCOMPARE(form.clientArea()->size(), QSize(546, 64));
    // Just a bar: no video area in a thin player.
    QVERIFY(!player->videoArea() || !player->videoArea()->isVisible());
}

QTEST_MAIN(TestForm1)
#include "tst_form1.moc"
