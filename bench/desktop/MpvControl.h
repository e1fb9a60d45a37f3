#pragma once

#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>

// Debian's mpv as a player at rest (`--idle`), given streams through its
// IPC socket (`loadfile`), as a program with a window of its own would do
// it. Its sound goes to the session's default sink.
class MpvControl
{
public:
    MpvControl() = default;
    ~MpvControl();
    MpvControl(const MpvControl &) = delete;
    MpvControl &operator=(const MpvControl &) = delete;

    // Starts mpv and connects to its socket; false when either fails.
    bool start();
    void stop();
    qint64 pid() const { return m_mpv.processId(); }
    // Writes the loadfile command and returns once it is on the socket.
    void load(const QString &url);

private:
    QTemporaryDir m_dir;
    QProcess m_mpv;
    QLocalSocket m_socket;
};
