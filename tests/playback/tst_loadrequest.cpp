#include <QTest>

#include "LoadRequest.h"

namespace {

QVariant reply(qint64 entryId)
{
    return QVariantMap { { QStringLiteral("playlist_entry_id"), entryId } };
}

}

// Which of libmpv's answers belong to the stream asked for last.
class TestLoadRequest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void theReplyNamesTheEntry();
    void staleAnswersAreDropped();
    void entryWithoutAName();
    void redirectAndEnd();
};

void TestLoadRequest::theReplyNamesTheEntry()
{
    LoadRequest request;
    const quint64 tag = request.next();
    QVERIFY(!request.answered());
    QVERIFY(!request.isCurrent(7));
    QVERIFY(request.answer(tag, reply(7)));
    QVERIFY(request.answered());
    QVERIFY(request.isCurrent(7));
    // The entry the engine ends on its way to this one is not it.
    QVERIFY(!request.isCurrent(6));
    // A reply to a command sent without a tag.
    QVERIFY(!request.answer(0, reply(8)));
    QVERIFY(request.isCurrent(7));
}

void TestLoadRequest::staleAnswersAreDropped()
{
    LoadRequest request;
    const quint64 first = request.next();
    const quint64 second = request.next();
    QVERIFY(second != first);
    QVERIFY(!request.answer(first, reply(1)));
    QVERIFY(!request.answered());
    QVERIFY(request.answer(second, reply(2)));
    QVERIFY(request.isCurrent(2));

    // Stopped, or another address chosen: nothing of the old one counts.
    request.forget();
    QVERIFY(!request.isCurrent(2));
    QVERIFY(!request.answer(second, reply(2)));
    QVERIFY(request.tag() != second);
}

void TestLoadRequest::entryWithoutAName()
{
    LoadRequest request;
    const quint64 tag = request.next();
    // Before the reply, a file that starts is the one played before.
    request.started(3);
    QVERIFY(request.answer(tag, QVariant()));
    QVERIFY(!request.isCurrent(3));
    // The first after the reply is the one asked for.
    request.started(4);
    request.started(5);
    QVERIFY(request.isCurrent(4));
    QVERIFY(!request.isCurrent(5));
    QVERIFY(!request.isCurrent(-1));
}

void TestLoadRequest::redirectAndEnd()
{
    LoadRequest request;
    QVERIFY(request.answer(request.next(), reply(1)));
    // A playlist libmpv read itself leads to the entry that starts next.
    request.redirected();
    QVERIFY(!request.isCurrent(1));
    request.started(2);
    QVERIFY(request.isCurrent(2));
    request.ended();
    QVERIFY(!request.answered());
    QVERIFY(!request.isCurrent(2));
}

QTEST_GUILESS_MAIN(TestLoadRequest)
#include "tst_loadrequest.moc"
