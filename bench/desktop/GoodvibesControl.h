#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>

// Debian's Goodvibes (a GTK internet radio player, GStreamer underneath) as a
// peer: started with its settings in a folder of the bench's own, given
// stations through its D-Bus interface (io.gitlab.Goodvibes.Player.Play),
// as its own command-line client does.
class GoodvibesControl
{
public:
    explicit GoodvibesControl(const QString &settingsDir);
    ~GoodvibesControl();
    GoodvibesControl(const GoodvibesControl &) = delete;
    GoodvibesControl &operator=(const GoodvibesControl &) = delete;

    static bool installed();
    // The environment it runs in: the session's, with its settings redirected.
    static QProcessEnvironment environment(const QString &settingsDir);

    // Starts it and waits until it owns its name on the session bus.
    bool start();
    void stop();
    qint64 pid() const { return m_process.processId(); }
    // Sends Play(uri) and returns at once.
    void play(const QString &uri);

private:
    QString m_settingsDir;
    QProcess m_process;
};
