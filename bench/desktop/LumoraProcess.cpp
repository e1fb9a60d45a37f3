#include "LumoraProcess.h"

#include <cstdio>

#include "ChildServer.h"

LumoraProcess::LumoraProcess(AtspiMenu &atspi)
    : m_atspi(atspi)
{
}

LumoraProcess::~LumoraProcess()
{
    stop();
}

bool LumoraProcess::start(const QString &dir, const QString &menu, const QStringList &entries)
{
    ChildServer::endWithTest(m_process);
    m_process.setWorkingDirectory(dir);
    m_process.setStandardOutputFile(dir + QStringLiteral("/lumora.log"), QIODevice::Append);
    m_process.setStandardErrorFile(dir + QStringLiteral("/lumora.log"), QIODevice::Append);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("lumora.*.warning=false"));
    m_process.setProcessEnvironment(env);
    m_process.start(QStringLiteral(LUMORA_PROGRAM), {});
    if (!m_process.waitForStarted(10000))
        return false;
    const AtspiMenu::Node app = m_atspi.application(m_process.processId(), 30000);
    if (!app.isValid()) {
        std::fprintf(stderr, "the program did not appear on the accessibility bus\n");
        return false;
    }
    for (const QString &entry : entries) {
        const AtspiMenu::Node item = m_atspi.find(app, {menu, entry});
        if (!item.isValid()) {
            std::fprintf(stderr, "no menu item %s > %s\n", qPrintable(menu), qPrintable(entry));
            return false;
        }
        m_items.insert(entry, item);
    }
    return true;
}

void LumoraProcess::choose(const QString &entry)
{
    m_atspi.press(m_items.value(entry));
}

void LumoraProcess::stop()
{
    m_items.clear();
    ChildServer::stop(m_process);
}
