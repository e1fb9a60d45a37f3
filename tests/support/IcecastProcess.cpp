#include "IcecastProcess.h"

#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QTest>
#include <QUrlQuery>

#include <unistd.h>

#include "ChildServer.h"
#include "DemoServerProcess.h"

namespace {

QByteArray randomPassword()
{
    return QByteArray::number(QRandomGenerator::global()->generate64(), 36);
}

QStringList encoderArguments(IcecastProcess::Codec codec)
{
    switch (codec) {
    case IcecastProcess::Codec::Mp3:
        return { QStringLiteral("-c:a"), QStringLiteral("libmp3lame"), QStringLiteral("-b:a"), QStringLiteral("128k"),
            QStringLiteral("-write_xing"), QStringLiteral("0"), QStringLiteral("-id3v2_version"), QStringLiteral("0"),
            QStringLiteral("-content_type"), QStringLiteral("audio/mpeg"), QStringLiteral("-f"),
            QStringLiteral("mp3") };
    case IcecastProcess::Codec::Aac:
        return { QStringLiteral("-c:a"), QStringLiteral("aac"), QStringLiteral("-b:a"), QStringLiteral("64k"),
            QStringLiteral("-content_type"), QStringLiteral("audio/aac"), QStringLiteral("-f"),
            QStringLiteral("adts") };
    case IcecastProcess::Codec::Vorbis:
        return { QStringLiteral("-c:a"), QStringLiteral("libvorbis"), QStringLiteral("-b:a"), QStringLiteral("96k"),
            QStringLiteral("-content_type"), QStringLiteral("audio/ogg"), QStringLiteral("-f"), QStringLiteral("ogg") };
    }
    return {};
}

} // namespace

IcecastProcess::IcecastProcess(QObject *parent)
    : QObject(parent)
    , m_sourcePassword(randomPassword())
    , m_adminPassword(randomPassword())
{
}

IcecastProcess::~IcecastProcess()
{
    stop();
}

bool IcecastProcess::isRunning() const
{
    return m_icecast.state() != QProcess::NotRunning && m_port != 0;
}

QString IcecastProcess::url(const QString &mount) const
{
    return QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(mount);
}

bool IcecastProcess::writeConfiguration()
{
    // As root, Icecast runs as nobody (see start()), who must read the
    // configuration and write the logs.
    const QString logs = m_dir.filePath(QStringLiteral("log"));
    if (!QDir().mkpath(logs))
        return false;
    const auto open = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup
        | QFile::ReadOther | QFile::ExeOther;
    QFile::setPermissions(m_dir.path(), open);
    QFile::setPermissions(logs, open | QFile::WriteGroup | QFile::WriteOther);

    QByteArray xml = "<icecast>\n"
                     "  <location>127.0.0.1</location>\n"
                     "  <admin>test@127.0.0.1</admin>\n"
                     "  <hostname>127.0.0.1</hostname>\n"
                     "  <limits>\n"
                     "    <clients>64</clients>\n"
                     "    <sources>8</sources>\n"
                     "    <source-timeout>10</source-timeout>\n"
                     "    <burst-on-connect>1</burst-on-connect>\n"
                     "    <burst-size>"
        + QByteArray::number(kBurstBytes)
        + "</burst-size>\n"
          "  </limits>\n"
          "  <authentication>\n"
          "    <source-password>"
        + m_sourcePassword
        + "</source-password>\n"
          "    <admin-user>admin</admin-user>\n"
          "    <admin-password>"
        + m_adminPassword
        + "</admin-password>\n"
          "  </authentication>\n"
          "  <listen-socket><port>"
        + QByteArray::number(m_port)
        + "</port><bind-address>127.0.0.1</bind-address></listen-socket>\n"
          "  <fileserve>1</fileserve>\n"
          "  <paths>\n"
          "    <basedir>/usr/share/icecast2</basedir>\n"
          "    <webroot>/usr/share/icecast2/web</webroot>\n"
          "    <adminroot>/usr/share/icecast2/admin</adminroot>\n"
          "    <logdir>"
        + logs.toUtf8()
        + "</logdir>\n"
          "  </paths>\n"
          "  <logging><accesslog>access.log</accesslog><errorlog>error.log</errorlog><loglevel>3</loglevel></logging>\n"
          "  <security><chroot>0</chroot></security>\n"
          "</icecast>\n";
    QFile file(m_dir.filePath(QStringLiteral("icecast.xml")));
    if (!file.open(QIODevice::WriteOnly) || file.write(xml) != xml.size())
        return false;
    file.close();
    file.setPermissions(open & ~(QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther));
    return true;
}

bool IcecastProcess::start(int timeoutMs)
{
    // A port found free may be taken by another test's server before Icecast
    // binds it, and then something answers there that is not ours: only our
    // Icecast knows our admin password. Such a start is tried again on
    // another port.
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (startOnce(timeoutMs))
            return true;
        if (!m_portTaken)
            return false;
        qWarning("Icecast: what answers on port %u is not this test's Icecast; trying another port: %s",
                 unsigned(m_takenPort), log().constData());
    }
    return false;
}

bool IcecastProcess::startOnce(int timeoutMs)
{
    m_portTaken = false;

    if (isRunning())
        return true;
    stop();
    m_error.clear();
    const QString program = QStandardPaths::findExecutable(QStringLiteral("icecast2"));
    if (program.isEmpty() || QStandardPaths::findExecutable(QStringLiteral("ffmpeg")).isEmpty()) {
        m_error = QStringLiteral("icecast2 or ffmpeg is missing (Debian packages icecast2, ffmpeg)");
        return false;
    }
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no temporary folder");
        return false;
    }
    m_port = DemoServerProcess::closedPort();
    if (!writeConfiguration()) {
        m_error = QStringLiteral("cannot write %1").arg(m_dir.filePath(QStringLiteral("icecast.xml")));
        return false;
    }
    ChildServer::endWithTest(m_icecast);
    m_icecast.setStandardOutputFile(m_dir.filePath(QStringLiteral("icecast.out")));
    m_icecast.setStandardErrorFile(m_dir.filePath(QStringLiteral("icecast.out")), QIODevice::Append);
    const QStringList arguments { QStringLiteral("-c"), m_dir.filePath(QStringLiteral("icecast.xml")) };
    if (::geteuid() == 0) {
        // Icecast refuses to run as root. Its own <changeowner> would drop to
        // nobody after start, which also clears the signal that ends it with
        // the test; setpriv drops first and sets that signal afterwards.
        m_icecast.start(QStringLiteral("setpriv"),
            QStringList { QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                QStringLiteral("--clear-groups"), QStringLiteral("--pdeathsig=TERM"), program }
                + arguments);
    } else {
        m_icecast.start(program, arguments);
    }
    if (!m_icecast.waitForStarted(10000)) {
        m_error = QStringLiteral("icecast2 did not start: %1").arg(m_icecast.errorString());
        return false;
    }
    const quint16 port = m_port;
    const bool listening = QTest::qWaitFor(
        [&] { return m_icecast.state() == QProcess::NotRunning || ChildServer::accepts(port); }, timeoutMs);
    if (listening && m_icecast.state() == QProcess::Running) {
        if (!admin("/admin/stats").isEmpty())
            return true;
        m_portTaken = true;
        m_takenPort = port;
    }
    m_error = QStringLiteral("icecast2 is not listening on 127.0.0.1:%1: %2").arg(port).arg(QString::fromUtf8(log()));
    stop();
    return false;
}

void IcecastProcess::stop()
{
    for (auto &[mount, source] : m_sources)
        ChildServer::stop(*source);
    m_sources.clear();
    ChildServer::stop(m_icecast);
    m_port = 0;
}

bool IcecastProcess::startSource(const QString &mount, Codec codec, const QString &title, int timeoutMs, int hertz)
{
    if (!isRunning()) {
        m_error = QStringLiteral("icecast2 is not running (exit status %1, %2): %3")
                      .arg(m_icecast.exitCode())
                      .arg(m_icecast.exitStatus() == QProcess::CrashExit ? QStringLiteral("killed by a signal")
                                                                         : QStringLiteral("ended"))
                      .arg(QString::fromUtf8(log()));
        return false;
    }
    stopSource(mount, timeoutMs);
    auto source = std::make_unique<QProcess>();
    ChildServer::endWithTest(*source);
    source->setStandardOutputFile(QProcess::nullDevice());
    source->setStandardErrorFile(m_dir.filePath(QStringLiteral("ffmpeg.log")), QIODevice::Append);
    // A different tone per codec, live-paced as a broadcast is.
    const int frequency = hertz > 0 ? hertz : codec == Codec::Mp3 ? 440 : codec == Codec::Aac ? 550 : 660;
    QStringList arguments { QStringLiteral("-nostdin"), QStringLiteral("-loglevel"), QStringLiteral("error"),
        QStringLiteral("-re"), QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
        QStringLiteral("sine=frequency=%1:sample_rate=44100").arg(frequency), QStringLiteral("-ac"),
        QStringLiteral("2") };
    if (codec == Codec::Vorbis && !title.isEmpty())
        arguments << QStringLiteral("-metadata") << QStringLiteral("title=") + title;
    arguments << encoderArguments(codec);
    arguments << QStringLiteral("icecast://source:%1@127.0.0.1:%2%3")
                     .arg(QString::fromLatin1(m_sourcePassword))
                     .arg(m_port)
                     .arg(mount);
    source->start(QStandardPaths::findExecutable(QStringLiteral("ffmpeg")), arguments);
    if (!source->waitForStarted(10000)) {
        m_error = QStringLiteral("ffmpeg did not start: %1").arg(source->errorString());
        return false;
    }
    QProcess *process = source.get();
    m_sources[mount] = std::move(source);
    if (!QTest::qWaitFor([&] { return process->state() == QProcess::NotRunning || hasMount(mount); }, timeoutMs)
        || process->state() != QProcess::Running) {
        m_error = QStringLiteral("the source of %1 did not come up: %2").arg(mount).arg(QString::fromUtf8(log()));
        return false;
    }
    if (codec != Codec::Vorbis && !title.isEmpty())
        return setTitle(mount, title);
    return true;
}

bool IcecastProcess::stopSource(const QString &mount, int timeoutMs)
{
    const auto it = m_sources.find(mount);
    if (it != m_sources.end()) {
        ChildServer::stop(*it->second);
        m_sources.erase(it);
    }
    return !isRunning() || QTest::qWaitFor([&] { return !hasMount(mount); }, timeoutMs);
}

bool IcecastProcess::setTitle(const QString &mount, const QString &title)
{
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("mount"), mount);
    query.addQueryItem(QStringLiteral("mode"), QStringLiteral("updinfo"));
    // Without a charset the title goes out as given, UTF-8; with one, Icecast
    // converts it to the mount's (Latin-1 by default) and escapes the rest.
    query.addQueryItem(QStringLiteral("song"), title);
    const QByteArray answer = admin("/admin/metadata?" + query.toString(QUrl::FullyEncoded).toUtf8());
    return answer.contains("<return>1</return>");
}

bool IcecastProcess::hasMount(const QString &mount)
{
    return admin("/admin/listmounts").contains("mount=\"" + mount.toUtf8() + '"');
}

QByteArray IcecastProcess::admin(const QByteArray &pathAndQuery)
{
    if (!isRunning())
        return {};
    // Event-driven waits rather than blocking ones: the test's player shares
    // this thread, and its responsiveness is measured.
    constexpr int kTimeoutMs = 5000;
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, m_port);
    if (!QTest::qWaitFor(
            [&] {
                return socket.state() != QAbstractSocket::ConnectingState
                    && socket.state() != QAbstractSocket::HostLookupState;
            },
            kTimeoutMs)
        || socket.state() != QAbstractSocket::ConnectedState)
        return {};
    socket.write("GET " + pathAndQuery + " HTTP/1.0\r\nHost: 127.0.0.1\r\nAuthorization: Basic "
        + ("admin:" + m_adminPassword).toBase64() + "\r\n\r\n");
    QByteArray answer;
    const bool answered = QTest::qWaitFor(
        [&] {
            answer += socket.readAll();
            return socket.state() == QAbstractSocket::UnconnectedState;
        },
        kTimeoutMs);
    if (!answered)
        return {};
    answer += socket.readAll();
    const qsizetype body = answer.indexOf("\r\n\r\n");
    if (!answer.left(answer.indexOf('\n')).contains(" 200 ") || body < 0)
        return {};
    return answer.mid(body + 4);
}

QByteArray IcecastProcess::log() const
{
    QByteArray text;
    for (const QString &name :
        { QStringLiteral("icecast.out"), QStringLiteral("log/error.log"), QStringLiteral("ffmpeg.log") }) {
        QFile file(m_dir.filePath(name));
        if (file.open(QIODevice::ReadOnly))
            text += file.readAll().right(1500);
    }
    return text;
}
