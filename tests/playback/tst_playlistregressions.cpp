#include <QTest>

#include "AddressPolicy.h"
#include "AsxPlaylist.h"

// Playlist answers that fuzz/fuzz_playlist (with its inputs repeated up to the
// size a playlist may have) found to break the player layer's playlist
// reading. The player reads a playlist on the UI thread, so a reading that
// grows faster than the answer freezes the window: it took tens of seconds an
// answer, and the test's time limit (CMakeLists) fails it if it comes back.
// How long a reading takes is bench_responsiveness's figure.
class TestPlaylistRegressions : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void largeAnswers_data();
    void largeAnswers();
};

void TestPlaylistRegressions::largeAnswers_data()
{
    QTest::addColumn<QByteArray>("unit");
    QTest::addColumn<QStringList>("firstRefs");

    // The tag pattern looked for "href" up to the next ">" from every "<ref":
    // with no ">" anywhere, every start scanned to the end (25 s for 256 KiB).
    QTest::addRow("<ref without href or >") << QByteArray("<ref ") << QStringList {};
    QTest::addRow("<ref href without = or >") << QByteArray("<ref href") << QStringList {};
    QTest::addRow("<entryref without >") << QByteArray("<entryref x") << QStringList {};
    // What the fuzzer itself came up with (the answer after its base line).
    QTest::addRow("fuzzer's <entryref without >") << QByteArray::fromHex(
        "3c6172655265010000000000000066313d6d6d3c656e74727972656620687265254534254238254144663d226d6d66")
                                                  << QStringList {};
    // A bound on the scan must still find what it found before.
    QTest::addRow("refs, long attributes first")
        << QByteArray("<ref title=\"" + QByteArray(300, 'a') + "\" href=\"http://h/a\"><")
        << QStringList { QStringLiteral("http://h/a"), QStringLiteral("http://h/a") };
}

void TestPlaylistRegressions::largeAnswers()
{
    QFETCH(QByteArray, unit);
    QFETCH(QStringList, firstRefs);
    QByteArray content = "<asx version=\"3.0\">";
    while (content.size() + unit.size() <= AsxPlaylist::kMaxBytes) {
        content += unit;
    }
    QVERIFY(AsxPlaylist::looksLikePlaylist(content));
    const QStringList refs = AsxPlaylist::references(content, QStringLiteral("http://h/list.asx"));
    QCOMPARE(refs.first(std::min(refs.size(), firstRefs.size())), firstRefs);
    for (const QString &ref : refs) {
        QVERIFY(AddressPolicy::isNetwork(ref));
    }
}

QTEST_GUILESS_MAIN(TestPlaylistRegressions)
#include "tst_playlistregressions.moc"
