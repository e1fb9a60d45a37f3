#include <QDir>
#include <QLoggingCategory>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "ChannelCatalogue.h"
#include "Form1.h"
#include "GbkFiles.h"
#include "MediaPlayer.h"
#include "MenuItemArray.h"
#include "PlaybackController.h"
#include "SelectionHandler.h"

namespace {

QString addr(const QString &group, int i)
{
    // A closed port: nothing needs to play for these tests.
    return QStringLiteral("http://127.0.0.1:9/%1/%2.mp3").arg(group).arg(i);
}

QStringList records(const QString &group, const QString &name, int count)
{
    QStringList out;
    for (int i = 0; i < count; ++i)
        out << QStringLiteral("|%1%2|%3").arg(name).arg(i).arg(addr(group, i));
    return out;
}

const QString kTitle = QStringLiteral("Lumora V1.3.0");

}

// What choosing an entry does, as the user sees it on a real main window:
// the window's state, the player's place, the caption, and the entry handed
// to the player.
class TestSelection : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void radioEntry();
    void tvEntry();
    void radioAfterTvAndBack();
    void sameEntryTwice();
    void lastIndexOfFullGroups_data();
    void lastIndexOfFullGroups();
    void rejectedIndex();
    void emptyGroupAndEmptyAddress();
    void userChangedWindowKeepsPlacement();

private:
    void select(const QString &array, int index) { m_form->itemArray(array)->item(index)->trigger(); }
    bool maximised() const { return m_form->windowState() & Qt::WindowMaximized; }

    QTemporaryDir m_dir;
    std::unique_ptr<Form1> m_form;
};

void TestSelection::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(QDir::setCurrent(m_dir.path()));
    QLoggingCategory::setFilterRules(QStringLiteral("lumora.catalogue.warning=false\nlumora.player.warning=false"));
    for (const GroupDefinition &d : GroupTable::groups()) {
        const QString name = QString(d.arrayName);
        if (name == QLatin1String("hlj"))
            continue; // an empty file: the group keeps its design item
        const int count = (name == QLatin1String("ah") || name == QLatin1String("gblist") || name == QLatin1String("tvlist"))
                              ? d.capacity
                              : 3;
        QStringList recs = records(name, QStringLiteral("台"), count);
        if (name == QLatin1String("gd"))
            recs[1] = QStringLiteral("|无地址电台|");
        QVERIFY(GbkFiles::writeLines(QString(d.listFile), recs));
    }
    QVERIFY(GbkFiles::writeBytes(QStringLiteral("gb/hlj.txt"), {}));
}

void TestSelection::init()
{
    MpvCore::Options engine;
    engine.audioOutput = QStringLiteral("null");
    m_form = std::make_unique<Form1>(engine);
    m_form->LoadMainWindow();
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
}

void TestSelection::cleanup()
{
    m_form.reset();
}

void TestSelection::radioEntry()
{
    select(QStringLiteral("ah"), 2);
    QVERIFY(!maximised());
    QCOMPARE(m_form->player()->geometry(), QRect(0, 0, 554, 65));
    QCOMPARE(m_form->windowTitle(), kTitle + QStringLiteral(" 正在播放:台2"));
    QCOMPARE(m_form->player()->nowPlaying(),
             (NowPlaying{ QStringLiteral("台2"), addr(QStringLiteral("ah"), 2), NowPlaying::Kind::Sound }));
    QCOMPARE(m_form->player()->URL(), addr(QStringLiteral("ah"), 2));
}

void TestSelection::tvEntry()
{
    select(QStringLiteral("tvlist"), 4);
    QVERIFY(maximised());
    QCOMPARE(m_form->player()->geometry(), QRect(0, 0, 1013, 700));
    QCOMPARE(m_form->windowTitle(), kTitle + QStringLiteral(" 正在播放:台4"));
    QCOMPARE(m_form->player()->nowPlaying(),
             (NowPlaying{ QStringLiteral("台4"), addr(QStringLiteral("tvlist"), 4), NowPlaying::Kind::Picture }));
    // The TV placement leaves the player's top where it was.
    QCOMPARE(m_form->player()->top(), 0.f);
}

void TestSelection::radioAfterTvAndBack()
{
    select(QStringLiteral("tvlist"), 0);
    select(QStringLiteral("xslist"), 1);
    QVERIFY(!maximised());
    QCOMPARE(m_form->player()->geometry(), QRect(0, 0, 554, 65));
    QCOMPARE(m_form->player()->URL(), addr(QStringLiteral("xslist"), 1));
    QCOMPARE(m_form->player()->nowPlaying().kind, NowPlaying::Kind::Sound);
    QCOMPARE(m_form->caption(), kTitle + QStringLiteral(" 正在播放:台1"));
    select(QStringLiteral("tvlist"), 1);
    QVERIFY(maximised());
    QCOMPARE(m_form->player()->geometry(), QRect(0, 0, 1013, 700));
    QCOMPARE(m_form->player()->top(), 0.f);
}

void TestSelection::sameEntryTwice()
{
    // Nothing is compared with what plays: the same entry again opens it again.
    for (const QString &array : { QStringLiteral("cnr"), QStringLiteral("tvlist") }) {
        select(array, 1);
        const QRect place = m_form->player()->geometry();
        const QString caption = m_form->caption();
        QSignalSpy chosen(m_form->player()->controller(), &PlaybackController::nowPlayingChanged);
        select(array, 1);
        QCOMPARE(chosen.count(), 1);
        QCOMPARE(chosen.first().first().value<NowPlaying>().address, addr(array, 1));
        QCOMPARE(m_form->player()->geometry(), place);
        QCOMPARE(m_form->caption(), caption);
    }
}

void TestSelection::lastIndexOfFullGroups_data()
{
    QTest::addColumn<QString>("array");
    QTest::addColumn<int>("last");
    QTest::newRow("ah") << QStringLiteral("ah") << 30;
    QTest::newRow("gblist") << QStringLiteral("gblist") << 300;
    QTest::newRow("tvlist") << QStringLiteral("tvlist") << 50;
}

void TestSelection::lastIndexOfFullGroups()
{
    QFETCH(QString, array);
    QFETCH(int, last);
    QCOMPARE(m_form->itemArray(array)->count(), last + 1);
    select(array, last);
    QCOMPARE(m_form->player()->URL(), addr(array, last));
    QCOMPARE(m_form->caption(), kTitle + QStringLiteral(" 正在播放:台%1").arg(last));
}

void TestSelection::rejectedIndex()
{
    select(QStringLiteral("tvlist"), 3);
    const QString url = m_form->player()->URL();
    const QString caption = m_form->caption();

    // The menu never reports these; the handler turns them away before it
    // reads the address table. The radio handler has set its layout by then.
    ChannelCatalogue &cat = m_form->catalogue();
    SelectionHandler radio(cat.group(QStringLiteral("ah")), SelectionHandler::Layout::Radio, *m_form);
    for (qint16 index : {qint16(-1), qint16(31), qint16(32767), qint16(-32768)}) {
        select(QStringLiteral("tvlist"), 3);
        QVERIFY(!radio.select(index));
        QCOMPARE(m_form->player()->URL(), url);
        QCOMPARE(m_form->caption(), caption);
        QVERIFY(!maximised());
        QCOMPARE(m_form->player()->widthTwips(), 8310.f);
    }
    SelectionHandler tv(cat.group(QStringLiteral("tvlist")), SelectionHandler::Layout::Tv, *m_form);
    select(QStringLiteral("ah"), 0);
    const QRect place = m_form->player()->geometry();
    QSignalSpy chosen(m_form->player()->controller(), &PlaybackController::nowPlayingChanged);
    // The TV handler turns an index away before it changes anything.
    QVERIFY(!tv.select(51));
    QVERIFY(!maximised());
    QCOMPARE(m_form->player()->geometry(), place);
    QCOMPARE(chosen.count(), 0);
    QVERIFY(radio.select(30));
    QCOMPARE(chosen.count(), 1);
}

void TestSelection::emptyGroupAndEmptyAddress()
{
    MenuItemArray *hlj = m_form->itemArray(QStringLiteral("hlj"));
    QCOMPARE(hlj->count(), 1);
    select(QStringLiteral("ah"), 0);
    select(QStringLiteral("hlj"), 0);
    QCOMPARE(m_form->player()->URL(), QString());
    QCOMPARE(m_form->caption(), kTitle + QStringLiteral(" 正在播放:黑龙江"));
    QCOMPARE(m_form->player()->statusText(), QStringLiteral("已停止"));

    select(QStringLiteral("gd"), 1);
    QCOMPARE(m_form->player()->URL(), QString());
    QCOMPARE(m_form->caption(), kTitle + QStringLiteral(" 正在播放:无地址电台"));
}

void TestSelection::userChangedWindowKeepsPlacement()
{
    select(QStringLiteral("tvlist"), 0);
    m_form->setWindowState(Qt::WindowNoState);
    QCOMPARE(m_form->player()->widthTwips(), 15200.f);
    QCOMPARE(m_form->player()->heightTwips(), 10500.f);
    select(QStringLiteral("tvlist"), 0);
    QVERIFY(maximised());
}

QTEST_MAIN(TestSelection)
#include "tst_selection.moc"
