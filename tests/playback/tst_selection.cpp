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
#include "SelectionHandler.h"

namespace {

// Writes down, in order, what a selection does to the window and the player.
class Recorder : public QObject
{
public:
    explicit Recorder(Form1 &form)
        : m_form(form)
    {
        form.installEventFilter(this);
        connect(form.player(), &MediaPlayer::placementChanged, this, [this] {
            MediaPlayer *p = m_form.player();
            steps << QStringLiteral("place %1 %2 %3 %4")
                         .arg(p->left()).arg(p->top()).arg(p->widthTwips()).arg(p->heightTwips());
        });
        connect(&form, &Form1::captionWritten, this,
                [this](const QString &caption) { steps << QStringLiteral("caption ") + caption; });
        connect(form.player(), &MediaPlayer::urlChanged, this,
                [this](const QString &url) { steps << QStringLiteral("url ") + url; });
    }
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == &m_form && event->type() == QEvent::WindowStateChange)
            steps << (m_form.windowState() & Qt::WindowMaximized ? QStringLiteral("maximised")
                                                                 : QStringLiteral("normal"));
        return false;
    }
    QStringList take()
    {
        const QStringList s = steps;
        steps.clear();
        return s;
    }
    QStringList steps;

private:
    Form1 &m_form;
};

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

// What choosing an entry does, step by step, on a real main window.
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
    Recorder rec(*m_form);
    select(QStringLiteral("ah"), 2);
    QCOMPARE(rec.take(), (QStringList{
                             QStringLiteral("place 0 0 8175 975"), // top: unchanged value, set again
                             QStringLiteral("place 0 0 8175 975"),
                             QStringLiteral("place 0 0 8310 975"),
                             QStringLiteral("place 0 0 8310 975"),
                             QStringLiteral("url ") + addr(QStringLiteral("ah"), 2),
                             QStringLiteral("caption ") + kTitle + QStringLiteral(" 正在播放:台2"),
                         }));
    QCOMPARE(m_form->windowState() & Qt::WindowMaximized, 0);
    QCOMPARE(m_form->player()->geometry(), QRect(0, 0, 554, 65));
    QCOMPARE(m_form->windowTitle(), kTitle + QStringLiteral(" 正在播放:台2"));
}

void TestSelection::tvEntry()
{
    Recorder rec(*m_form);
    select(QStringLiteral("tvlist"), 4);
    QCOMPARE(rec.take(), (QStringList{
                             QStringLiteral("maximised"),
                             QStringLiteral("url ") + addr(QStringLiteral("tvlist"), 4),
                             QStringLiteral("place 0 0 8175 975"),
                             QStringLiteral("place 0 0 15200 975"),
                             QStringLiteral("place 0 0 15200 10500"),
                             QStringLiteral("caption ") + kTitle + QStringLiteral(" 正在播放:台4"),
                         }));
    QVERIFY(m_form->windowState() & Qt::WindowMaximized);
    QCOMPARE(m_form->player()->geometry(), QRect(0, 0, 1013, 700));
}

void TestSelection::radioAfterTvAndBack()
{
    select(QStringLiteral("tvlist"), 0);
    select(QStringLiteral("xslist"), 1);
    QCOMPARE(m_form->windowState() & Qt::WindowMaximized, 0);
    QCOMPARE(m_form->player()->geometry(), QRect(0, 0, 554, 65));
    QCOMPARE(m_form->player()->URL(), addr(QStringLiteral("xslist"), 1));
    QCOMPARE(m_form->caption(), kTitle + QStringLiteral(" 正在播放:台1"));
    select(QStringLiteral("tvlist"), 1);
    QVERIFY(m_form->windowState() & Qt::WindowMaximized);
    QCOMPARE(m_form->player()->geometry(), QRect(0, 0, 1013, 700));
    QCOMPARE(m_form->player()->top(), 0.f);
}

void TestSelection::sameEntryTwice()
{
    select(QStringLiteral("cnr"), 0);
    Recorder rec(*m_form);
    select(QStringLiteral("cnr"), 1);
    const QStringList first = rec.take();
    select(QStringLiteral("cnr"), 1);
    const QStringList second = rec.take();
    QCOMPARE(second, first);
    QCOMPARE(second.size(), 6);
    QCOMPARE(second.count(QStringLiteral("url ") + addr(QStringLiteral("cnr"), 1)), 1);

    select(QStringLiteral("tvlist"), 2);
    rec.take();
    QSignalSpy urls(m_form->player(), &MediaPlayer::urlChanged);
    select(QStringLiteral("tvlist"), 2);
    QCOMPARE(urls.count(), 1);
    QCOMPARE(rec.take().filter(QStringLiteral("place")).size(), 3);
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
        QCOMPARE(m_form->windowState() & Qt::WindowMaximized, 0);
        QCOMPARE(m_form->player()->widthTwips(), 8310.f);
    }
    SelectionHandler tv(cat.group(QStringLiteral("tvlist")), SelectionHandler::Layout::Tv, *m_form);
    select(QStringLiteral("ah"), 0);
    Recorder rec(*m_form);
    QVERIFY(!tv.select(51));
    QVERIFY(rec.take().isEmpty());
    QVERIFY(radio.select(30));
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
    QVERIFY(m_form->windowState() & Qt::WindowMaximized);
}

QTEST_MAIN(TestSelection)
#include "tst_selection.moc"
