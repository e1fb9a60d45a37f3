#pragma once

#include <atomic>

#include <QObject>
#include <QString>
#include <QVariant>

#include <mpv/client.h>

struct MpvApi;

// The libmpv engine behind the player, and nothing else: it owns the mpv
// handle, sets it up isolated from the user's own mpv configuration, sends
// commands asynchronously and turns libmpv events into signals on the thread
// that owns it. The wakeup callback queues one call that drains every pending
// event, so the UI thread never waits on libmpv.
class MpvCore : public QObject
{
    Q_OBJECT

public:
    struct Options
    {
        // libmpv's audio output; "null" plays without sound hardware.
        QString audioOutput = QStringLiteral("pulse,pipewire,alsa,null");
        // How long a connection may stay silent before it fails.
        double networkTimeoutSeconds = 15.0;
    };

    enum class EndReason { Eof, Stop, Quit, Error, Redirect };
    Q_ENUM(EndReason)

    explicit MpvCore(const Options &options, QObject *parent = nullptr);
    ~MpvCore() override;

    // False when libmpv could not be created or initialised; initError() says why.
    bool isValid() const { return m_mpv != nullptr; }
    QString initError() const { return m_initError; }
    mpv_handle *handle() const { return m_mpv; }
    // The library's functions, for whatever else draws on this handle.
    const MpvApi *api() const { return m_api; }

    // Runs a command asynchronously. A non-zero tag asks for a
    // commandReplied() with the command's result.
    void command(const QStringList &args, quint64 tag = 0);
    void setProperty(const char *name, const QVariant &value);
    void observe(const char *name, mpv_format format);

Q_SIGNALS:
    // Events of one playlist entry; the id is the one loadfile replied with.
    void fileStarted(qint64 entryId);
    void fileLoaded();
    void fileEnded(qint64 entryId, MpvCore::EndReason reason, int mpvError);
    void commandReplied(quint64 tag, int mpvError, const QVariant &result);
    void playbackRestarted();
    void propertyChanged(const QString &name, const QVariant &value);
    // A warning or error that libmpv logged, with the module that logged it.
    void logMessage(const QString &prefix, const QString &level, const QString &text);
    // Every event pending so far has been handed out.
    void eventsDrained();

private:
    static void wakeup(void *self);
    void drainEvents();
    void handleEvent(const mpv_event &event);

    const MpvApi *m_api = nullptr;
    mpv_handle *m_mpv = nullptr;
    QString m_initError;
    std::atomic_bool m_drainQueued{false};
};
