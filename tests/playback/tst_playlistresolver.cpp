#include <functional>
#include <optional>

#include <QHash>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include "DemoServerProcess.h"
#include "PlaylistResolver.h"

namespace {

using Kind = Failure::Kind;

// A loopback HTTP server with an answer for each path: a status and a body
// in which "BASE" stands for the server's own address.
class PlaylistServer : public QTcpServer
{
public:
    struct Answer
    {
        int status = 200;
        QByteArray body;
    };

    PlaylistServer()
    {
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { answer(socket); });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }

    QString base() const { return QStringLiteral("http://127.0.0.1:%1").arg(serverPort()); }
    QString url(const QString &path) const { return base() + path; }
    void set(const QByteArray &path, int status, const QByteArray &body = {}) { m_answers[path] = { status, body }; }
    void set(const QByteArray &path, const QByteArray &body) { set(path, 200, body); }

private:
    void answer(QTcpSocket *socket)
    {
        QByteArray &request = m_requests[socket];
        request += socket->readAll();
        if (!request.contains("\r\n\r\n"))
            return;
        const QByteArray path = request.split(' ').value(1);
        m_requests.remove(socket);
        const Answer answer = m_answers.value(path, { 404, {} });
        QByteArray body = answer.body;
        body.replace("BASE", base().toLatin1());
        socket->write("HTTP/1.1 " + QByteArray::number(answer.status)
            + " X\r\nContent-Type: video/x-ms-asf\r\n"
              "Content-Length: "
            + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
        socket->disconnectFromHost();
    }

    QHash<QByteArray, Answer> m_answers;
    QHash<QTcpSocket *, QByteArray> m_requests;
};

QByteArray asx(const QList<QByteArray> &refs)
{
    QByteArray document = "<asx version=\"3.0\"><title>t</title>";
    for (const QByteArray &ref : refs)
        document += "<entry><ref href=\"" + ref + "\"/></entry>";
    return document + "</asx>";
}

// What the resolver answered: the address to load, or why there is none.
struct Answer
{
    QString address;
    std::optional<Kind> failure;
    bool nothingFound = false;
    int fetches = 0;
};

}

// From an address to the stream to load: Windows Media playlists fetched
// from a loopback server, followed to a depth, and looked at once more when
// libmpv could not read an address.
class TestPlaylistResolver : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void resolve_data();
    void resolve();
    void sniff_data();
    void sniff();
    void loadsWhatIsNoPlaylist_data();
    void loadsWhatIsNoPlaylist();
    void theLatestAddressWins();

private:
    Answer run(const std::function<void(PlaylistResolver &)> &start);

    PlaylistServer m_server;
};

void TestPlaylistResolver::initTestCase()
{
    QVERIFY(m_server.listen(QHostAddress::LocalHost));
    m_server.set("/live.asx", asx({ "BASE/live.mp3" }));
    m_server.set("/relative.asx", asx({ "live.mp3" }));
    m_server.set("/local-first.asx", asx({ "file:///etc/passwd", "lavfi://sine", "BASE/second.mp3" }));
    m_server.set("/outer.asx", asx({ "BASE/inner.wax" }));
    m_server.set("/inner.wax", asx({ "BASE/deep.mp3" }));
    for (int i = 0; i < 5; ++i)
        m_server.set(
            "/level" + QByteArray::number(i) + ".asx", asx({ "BASE/level" + QByteArray::number(i + 1) + ".asx" }));
    m_server.set("/self.asx", asx({ "BASE/self.asx" }));
    m_server.set("/local-only.asx", asx({ "file:///music/a.mp3", "lavfi://sine" }));
    m_server.set("/empty.asx", QByteArray());
    m_server.set("/text.asx", "just some text, nothing a player reads\n");
    m_server.set("/broken.asx", 500);
    m_server.set("/reference", "[Reference]\r\nRef1=BASE/ref.mp3\r\n");
    m_server.set("/stream", QByteArray(4096, '\xff'));
    m_server.set("/nothing", QByteArray());
}

Answer TestPlaylistResolver::run(const std::function<void(PlaylistResolver &)> &start)
{
    PlaylistResolver resolver(10000);
    QSignalSpy resolved(&resolver, &PlaylistResolver::resolved);
    QSignalSpy failed(&resolver, &PlaylistResolver::failed);
    QSignalSpy nothingFound(&resolver, &PlaylistResolver::nothingFound);
    QSignalSpy fetching(&resolver, &PlaylistResolver::fetching);
    start(resolver);
    Answer answer;
    if (!QTest::qWaitFor([&] { return resolved.size() + failed.size() + nothingFound.size() > 0; }, 10000))
        return answer;
    if (!resolved.isEmpty())
        answer.address = resolved.first().at(0).toString();
    if (!failed.isEmpty())
        answer.failure = failed.first().at(0).value<Failure>().kind();
    answer.nothingFound = !nothingFound.isEmpty();
    answer.fetches = int(fetching.size());
    return answer;
}

void TestPlaylistResolver::resolve_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("address"); // its path on the server
    QTest::addColumn<std::optional<Kind>>("failure");
    QTest::addColumn<int>("fetches");

    const std::optional<Kind> none;
    QTest::addRow("playlist") << "/live.asx"
                              << "/live.mp3" << none << 1;
    QTest::addRow("relative reference") << "/relative.asx"
                                        << "/live.mp3" << none << 1;
    // A playlist from the network leads only to network streams.
    QTest::addRow("local references skipped") << "/local-first.asx"
                                              << "/second.mp3" << none << 1;
    QTest::addRow("nested") << "/outer.asx"
                            << "/deep.mp3" << none << 2;
    QTest::addRow("too deep") << "/level0.asx" << QString() << std::optional(Kind::NestedPlaylist) << 4;
    QTest::addRow("itself") << "/self.asx" << QString() << std::optional(Kind::NestedPlaylist) << 4;
    QTest::addRow("only local references") << "/local-only.asx" << QString() << std::optional(Kind::EmptyPlaylist) << 1;
    QTest::addRow("empty answer") << "/empty.asx" << QString() << std::optional(Kind::NoData) << 1;
    QTest::addRow("not a playlist") << "/text.asx" << QString() << std::optional(Kind::NotAPlaylist) << 1;
    QTest::addRow("missing") << "/missing.asx" << QString() << std::optional(Kind::NotFound) << 1;
    QTest::addRow("server error") << "/broken.asx" << QString() << std::optional(Kind::ServerError) << 1;
}

void TestPlaylistResolver::resolve()
{
    QFETCH(QString, path);
    QFETCH(QString, address);
    QFETCH(std::optional<Kind>, failure);
    QFETCH(int, fetches);
    const Answer answer = run([&](PlaylistResolver &resolver) { QVERIFY(resolver.resolve(m_server.url(path))); });
    QCOMPARE(answer.address, address.isEmpty() ? QString() : m_server.url(address));
    QCOMPARE(answer.failure, failure);
    QVERIFY(!answer.nothingFound);
    QCOMPARE(answer.fetches, fetches);
}

void TestPlaylistResolver::sniff_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("address");
    QTest::addColumn<std::optional<Kind>>("failure");
    QTest::addColumn<bool>("nothingFound");

    const std::optional<Kind> none;
    // A playlist served without its extension.
    QTest::addRow("playlist") << "/reference"
                              << "/ref.mp3" << none << false;
    // libmpv's "unknown format" stands, unless the server sent nothing at all.
    QTest::addRow("a stream after all") << "/stream" << QString() << std::optional(Kind::UnsupportedFormat) << false;
    QTest::addRow("nothing") << "/nothing" << QString() << std::optional(Kind::Timeout) << false;
    QTest::addRow("missing") << "/missing" << QString() << none << true;
}

void TestPlaylistResolver::sniff()
{
    QFETCH(QString, path);
    QFETCH(QString, address);
    QFETCH(std::optional<Kind>, failure);
    QFETCH(bool, nothingFound);
    const Answer answer = run([&](PlaylistResolver &resolver) {
        QVERIFY(!resolver.resolve(m_server.url(path)));
        QVERIFY(!resolver.sniffed());
        resolver.sniff(m_server.url(path));
        QVERIFY(resolver.sniffed());
    });
    QCOMPARE(answer.address, address.isEmpty() ? QString() : m_server.url(address));
    QCOMPARE(answer.failure, failure);
    QCOMPARE(answer.nothingFound, nothingFound);
}

void TestPlaylistResolver::loadsWhatIsNoPlaylist_data()
{
    QTest::addColumn<QString>("address");
    QTest::addRow("stream") << QStringLiteral("http://127.0.0.1:1/live.mp3");
    QTest::addRow("asx in the query only") << QStringLiteral("http://127.0.0.1:1/play?f=a.asx");
    // Only playlists from the network are fetched; libmpv reads local files.
    QTest::addRow("local asx") << QStringLiteral("/music/list.asx");
    QTest::addRow("file asx") << QStringLiteral("file:///music/list.asx");
}

void TestPlaylistResolver::loadsWhatIsNoPlaylist()
{
    QFETCH(QString, address);
    PlaylistResolver resolver(10000);
    QSignalSpy fetching(&resolver, &PlaylistResolver::fetching);
    QVERIFY(!resolver.resolve(address));
    QCOMPARE(fetching.size(), 0);
}

void TestPlaylistResolver::theLatestAddressWins()
{
    // The first answer never comes: a port nothing listens on would answer
    // at once, a new address before it must win all the same.
    const QString refused = QStringLiteral("http://127.0.0.1:%1/gone.asx").arg(DemoServerProcess::closedPort());
    const Answer answer = run([&](PlaylistResolver &resolver) {
        QVERIFY(resolver.resolve(refused));
        QVERIFY(resolver.resolve(m_server.url(QStringLiteral("/live.asx"))));
    });
    QCOMPARE(answer.address, m_server.url(QStringLiteral("/live.mp3")));
    QCOMPARE(answer.failure, std::nullopt);

    // Given up: no answer at all, and the resolver is still of use.
    const Answer afterCancel = run([&](PlaylistResolver &resolver) {
        QVERIFY(resolver.resolve(refused));
        resolver.cancel();
        QVERIFY(resolver.resolve(m_server.url(QStringLiteral("/outer.asx"))));
    });
    QCOMPARE(afterCancel.address, m_server.url(QStringLiteral("/deep.mp3")));
}

QTEST_GUILESS_MAIN(TestPlaylistResolver)
#include "tst_playlistresolver.moc"
