#pragma once

#include <QHash>
#include <QProcess>
#include <QStringList>

#include "AtspiMenu.h"

// The real program (build/app/lumora) started in a catalogue folder, its
// menu items found on the accessibility bus and chosen there.
class LumoraProcess
{
public:
    explicit LumoraProcess(AtspiMenu &atspi);
    ~LumoraProcess();
    LumoraProcess(const LumoraProcess &) = delete;
    LumoraProcess &operator=(const LumoraProcess &) = delete;

    // Starts the program in `dir` and waits until it is on the accessibility
    // bus with the items of `menu` named `entries`; false otherwise.
    bool start(const QString &dir, const QString &menu, const QStringList &entries);
    qint64 pid() const { return m_process.processId(); }
    // Chooses an entry found by start(); returns at once.
    void choose(const QString &entry);
    void stop();

private:
    AtspiMenu &m_atspi;
    QProcess m_process;
    QHash<QString, AtspiMenu::Node> m_items;
};
