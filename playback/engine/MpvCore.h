#pragma once

#include <atomic>
#include <memory>
#include <utility>
#include <vector>

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QVariant>

#include <mpv/client.h>

class SpareHandle;
struct MpvApi;

// libmpv's handle is opaque: signals carry it as a pointer only.
Q_DECLARE_OPAQUE_POINTER(mpv_handle *)

// The libmpv engine behind the player, and nothing else: it owns the mpv
// handle, sets it up isolated from the user's own mpv configuration, sends
// commands asynchronously and turns libmpv events into signals on the thread
// that owns it. The wakeup callback queues one call that drains every pending
// event, so the UI thread never waits on libmpv.
//
// Ending a stream takes libmpv a while (its demuxer waits on the network
// before it lets go), and a new address given to the same handle waits for
// that. So the core keeps a spare handle, made and initialised on a worker
// thread, and a new stream may start on it at once (switchToSpare()) while a
// worker ends the old one. The core stays the same object throughout: what
// was observed and set on the old handle is observed and set on the new one,
// and every connection to its signals holds. A core lives on the
// application's thread.
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
    // Sets the property on the handle in use and on every handle that takes its place.
    void setProperty(const char *name, const QVariant &value);
    // Sets it on the handle in use only: what belongs to the stream that
    // plays now (its recording) and must not follow to the next one.
    void setForThisStream(const char *name, const QVariant &value);
    // Signals propertyChanged() for the property from now on, on every
    // handle; observing it twice is observing it once.
    void observe(const char *name, mpv_format format);
    // No more propertyChanged() for it.
    void unobserve(const char *name);

    // Starts making a spare handle on a worker thread, unless one is ready or
    // on its way.
    void prepareSpare();
    bool hasSpare() const;
    // Whether a file was ever loaded on the handle in use: only then does a
    // new one have anything to wait for.
    bool hasLoaded() const { return m_loaded; }
    // Silences the handle in use at once, goes on with the spare, and leaves
    // the old handle to a worker thread to end and destroy; engineReplaced()
    // is emitted in between. False, and nothing changes, when no spare is
    // ready.
    bool switchToSpare();
    // The value every handle starts with for one of the options the core
    // sets itself, or empty.
    static QByteArray defaultOption(const char *name);
    // libmpv handles this process holds: in use, spare, or being destroyed.
    static int handlesAlive();

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
    // Another libmpv handle took the place of the old one, which is still
    // alive while this is emitted: whatever draws from the old handle (a
    // render context) must let go of it before returning.
    void engineReplaced(mpv_handle *handle);

private:
    static void setOn(const MpvApi *api, mpv_handle *mpv, const char *name, const QVariant &value);
    static void wakeup(void *self);
    static quint64 observationId(const QByteArray &name);
    void drainEvents();
    void handleEvent(const mpv_event &event);

    const MpvApi *m_api = nullptr;
    Options m_options;
    mpv_handle *m_mpv = nullptr;
    std::unique_ptr<SpareHandle> m_spare;
    bool m_loaded = false;
    // What a spare handle is given before it takes over, in the order given.
    std::vector<std::pair<QByteArray, mpv_format>> m_observed;
    std::vector<std::pair<QByteArray, QVariant>> m_settings;
    QString m_initError;
    std::atomic_bool m_drainQueued{false};
};
