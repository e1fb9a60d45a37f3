#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QLockFile>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <memory>

#include "AsfBroadcast.h"
#include "HlsPlaylist.h"
#include "MediaAsset.h"

class QProcess;

// The demonstration media: made once with ffmpeg (and espeak-ng for the spoken
// channel names) into a cache folder, reused on later starts while the folder
// holds a complete set of the current generation, and kept in memory.
class MediaLibrary : public QObject
{
    Q_OBJECT

public:
    // Raise whenever what is generated changes; older caches are then remade.
    static constexpr int kGeneration = 2;

    explicit MediaLibrary(const QString &directory, QObject *parent = nullptr);
    ~MediaLibrary() override;

    static QString defaultDirectory();

    // Asynchronous; ends in ready() or failed().
    void prepare();

    const MediaAsset *asset(const QString &name) const;
    const HlsPlaylist *hls(const QString &name) const;
    // The parsed ASF broadcast behind an ASF asset, for other framings of it.
    std::shared_ptr<const AsfBroadcast> broadcast(const QString &name) const;
    bool regenerated() const { return m_regenerated; }
    qint64 preparationMs() const { return m_clock.elapsed(); }

Q_SIGNALS:
    void ready();
    void failed(const QString &reason);

private:
    struct Command
    {
        QString program;
        QStringList arguments;
    };
    // A job writes one output. When its preparation (speech) or main commands
    // fail, the fallback makes a plainer version of the same output.
    struct Job
    {
        QString output;
        bool directory = false;
        QList<Command> preparation;
        QList<Command> main;
        QList<Command> fallback;
    };

    void tryLock();
    bool cacheIsValid() const;
    void buildJobs();
    void startJobs();
    void runNextJob();
    void runCommands(int jobIndex, QList<Command> commands, bool isFallback, bool afterPreparation);
    void jobDone(int jobIndex, bool ok);
    bool writeStamp();
    bool load();
    void fail(const QString &reason);

    Job audioJob(const QString &output, const QStringList &speech, const QString &music, int seconds,
                 const QStringList &encode);
    Job videoJob(const QString &output, const QString &speech, const QString &pattern, const QString &label,
                 const QString &music, int seconds, const QStringList &encode, bool directory);
    QString work(const QString &name) const;
    QString target(const QString &output) const;

    QString m_directory;
    std::unique_ptr<QLockFile> m_lock;
    QTimer m_lockPoll;
    QElapsedTimer m_clock;
    QString m_ffmpeg;
    QString m_espeak;
    QString m_font;
    QList<Job> m_jobs;
    int m_nextJob = 0;
    int m_running = 0;
    int m_done = 0;
    bool m_failed = false;
    bool m_regenerated = false;
    QList<QProcess *> m_processes;
    QHash<QString, MediaAsset> m_assets;
    QHash<QString, HlsPlaylist> m_hls;
    QHash<QString, std::shared_ptr<const AsfBroadcast>> m_broadcasts;
};
