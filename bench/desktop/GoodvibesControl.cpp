#include "GoodvibesControl.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QStandardPaths>
#include <QThread>

#include "ChildServer.h"

namespace {

const QString kService = QStringLiteral("io.gitlab.Goodvibes");

} // namespace

GoodvibesControl::GoodvibesControl(const QString &settingsDir)
    : m_settingsDir(settingsDir)
{
}

GoodvibesControl::~GoodvibesControl()
{
    stop();
}

bool GoodvibesControl::installed()
{
    return !QStandardPaths::findExecutable(QStringLiteral("goodvibes")).isEmpty();
}

QProcessEnvironment GoodvibesControl::environment(const QString &settingsDir)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), settingsDir + QStringLiteral("/config"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), settingsDir + QStringLiteral("/data"));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), settingsDir + QStringLiteral("/cache"));
    return env;
}

bool GoodvibesControl::start()
{
    ChildServer::endWithTest(m_process);
    m_process.setProcessEnvironment(environment(m_settingsDir));
    m_process.setStandardOutputFile(QProcess::nullDevice());
    m_process.setStandardErrorFile(QProcess::nullDevice());
    m_process.start(QStringLiteral("goodvibes"), {});
    if (!m_process.waitForStarted(5000))
        return false;
    QDBusConnectionInterface *bus = QDBusConnection::sessionBus().interface();
    for (int i = 0; i < 200; ++i) {
        if (bus && bus->isServiceRegistered(kService))
            return true;
        QThread::msleep(50);
    }
    return false;
}

void GoodvibesControl::stop()
{
    ChildServer::stop(m_process);
}

void GoodvibesControl::play(const QString &uri)
{
    QDBusMessage call = QDBusMessage::createMethodCall(kService, QStringLiteral("/io/gitlab/Goodvibes"),
                                                       QStringLiteral("io.gitlab.Goodvibes.Player"),
                                                       QStringLiteral("Play"));
    call << uri;
    QDBusConnection::sessionBus().asyncCall(call, 10000);
}
