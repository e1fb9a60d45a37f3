#pragma once

#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <QStringList>
#include <QTimer>

class PlaybackController;

// Records the stream that plays exactly as it arrives (no re-encoding: the
// audio, or the MPEG-TS of a TV entry) into the music folder, a new file at
// each new title where the station sends titles. The engine writes the
// files; this decides their names and when they begin and end: a recording
// ends at stop, at another choice, when the stream fails or drops, and when
// the player closes, and every file it leaves is complete. Pausing does not
// pause it: what the station sends is kept. Before the disk is full it stops
// by itself, so what was written stays playable; playback goes on.
class StreamRecorder : public QObject
{
    Q_OBJECT

public:
    enum class Problem {
        None,
        NothingPlays,    // there is no open stream to record
        FolderUnwritable,
        DiskFull,
        EngineRefused,   // the engine could not write the file; detail() has its words
    };
    Q_ENUM(Problem)

    // Stop well before the disk is full: the engine needs room to finish a file.
    static constexpr qint64 kReserveBytes = 8ll * 1024 * 1024;

    // The controller must outlive the recorder.
    explicit StreamRecorder(PlaybackController &controller, QObject *parent = nullptr);
    // Finishes the file being written.
    ~StreamRecorder() override;

    // Where the files go; RecordingNames::folder() unless set.
    void setFolder(const QString &folder) { m_folder = folder; }
    QString folder() const { return m_folder; }

    bool isRecording() const { return m_recording; }
    // Whether there is a stream to record now.
    bool canRecord() const;
    // The files of the latest recording, oldest first; the last one is being
    // written while it records.
    QStringList files() const { return m_files; }
    qint64 elapsedMs() const { return m_recording ? m_since.elapsed() : m_lastElapsedMs; }
    // What its files hold on disk now; the engine writes in blocks of some
    // hundred kilobytes, and finishes a file as it closes it.
    qint64 bytes() const;
    Problem problem() const { return m_problem; }
    QString detail() const { return m_detail; }
    // What the control bar shows: "录音 1:23 · 1.4 MB", why it stopped, or empty.
    QString text() const;

public Q_SLOTS:
    void start();
    void stop();
    void toggle();

Q_SIGNALS:
    void recordingChanged(bool recording);
    void canRecordChanged(bool can);
    void textChanged(const QString &text);
    // A file is complete (as far as the engine was asked to close it).
    void fileFinished(const QString &path);

private:
    void attachEngine();
    void onStateChanged();
    void onTitleChanged(const QString &title);
    void onPropertyChanged(const QString &name, const QVariant &value);
    void onLogMessage(const QString &prefix, const QString &level, const QString &text);
    void beginFile(const QString &title);
    void endFile();
    void fail(Problem problem, const QString &detail = QString());
    void tick();
    void showText();

    PlaybackController &m_controller;
    QString m_folder;
    bool m_recording = false;
    bool m_canRecord = false;
    QStringList m_files;
    QElapsedTimer m_since;
    qint64 m_lastElapsedMs = 0;
    QString m_fileFormat;
    QString m_audioCodec;
    QString m_fileTitle;          // the title the file being written is named after
    Problem m_problem = Problem::None;
    QString m_detail;
    QString m_text;
    QTimer m_tick;                // once a second while it records: what the bar shows changes
};
