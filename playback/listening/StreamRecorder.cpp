#include "StreamRecorder.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QMetaEnum>
#include <QStorageInfo>
#include <QUrl>

#include "MpvCore.h"
#include "PlaybackController.h"
#include "PlayerLog.h"
#include "RecordingNames.h"

using namespace Qt::StringLiterals;

StreamRecorder::StreamRecorder(PlaybackController &controller, QObject *parent)
    : QObject(parent)
    , m_controller(controller)
    , m_folder(RecordingNames::folder())
{
    m_tick.setInterval(1000);
    connect(&m_tick, &QTimer::timeout, this, &StreamRecorder::tick);
    const PlayerState &state = m_controller.state();
    connect(&state, &PlayerState::stateChanged, this, &StreamRecorder::onStateChanged);
    connect(&state, &PlayerState::titleChanged, this, &StreamRecorder::onTitleChanged);
    connect(&m_controller, &PlaybackController::engineReady, this, &StreamRecorder::attachEngine);
    if (m_controller.core())
        attachEngine();
}

StreamRecorder::~StreamRecorder()
{
    stop();
}

void StreamRecorder::attachEngine()
{
    MpvCore *core = m_controller.core();
    connect(core, &MpvCore::propertyChanged, this, &StreamRecorder::onPropertyChanged, Qt::UniqueConnection);
    connect(core, &MpvCore::logMessage, this, &StreamRecorder::onLogMessage, Qt::UniqueConnection);
    // Each changes once a stream: what its files are called.
    core->observe("file-format", MPV_FORMAT_STRING);
    core->observe("audio-codec-name", MPV_FORMAT_STRING);
}

bool StreamRecorder::canRecord() const
{
    return m_controller.core() && m_controller.state().isOpen();
}

qint64 StreamRecorder::bytes() const
{
    qint64 total = 0;
    for (const QString &file : m_files)
        total += QFileInfo(file).size();
    return total;
}

void StreamRecorder::toggle()
{
    m_recording ? stop() : start();
}

void StreamRecorder::start()
{
    if (m_recording)
        return;
    if (!canRecord()) {
        fail(Problem::NothingPlays);
        return;
    }
    if (!QDir().mkpath(m_folder) || !QFileInfo(m_folder).isWritable()) {
        fail(Problem::FolderUnwritable, m_folder);
        return;
    }
    if (QStorageInfo(m_folder).bytesAvailable() < kReserveBytes) {
        fail(Problem::DiskFull, m_folder);
        return;
    }
    m_problem = Problem::None;
    m_detail.clear();
    m_files.clear();
    m_recording = true;
    m_since.start();
    beginFile(m_controller.state().title());
    m_tick.start();
    Q_EMIT recordingChanged(true);
    showText();
}

void StreamRecorder::stop()
{
    if (!m_recording)
        return;
    endFile();
    m_recording = false;
    m_lastElapsedMs = m_since.elapsed();
    m_tick.stop();
    Q_EMIT recordingChanged(false);
    showText();
}

void StreamRecorder::beginFile(const QString &title)
{
    const NowPlaying &entry = m_controller.nowPlaying();
    const QString station = entry.name.isEmpty() ? QUrl(entry.address.trimmed()).host() : entry.name;
    const QString extension = RecordingNames::extension(m_fileFormat, m_audioCodec);
    QString path = m_folder + u'/' + RecordingNames::fileName(station, QDateTime::currentDateTime(), title, extension);
    // Two titles in one second, or a second recording in the same second:
    // never write over a file.
    for (int n = 2; QFileInfo::exists(path) || m_files.contains(path); ++n) {
        const QString name = RecordingNames::fileName(station, QDateTime::currentDateTime(), title, QString());
        path = m_folder + u'/' + name.chopped(1) + u" (%1).%2"_s.arg(n).arg(extension);
    }
    m_fileTitle = title;
    m_files.append(path);
    m_controller.core()->setForThisStream("stream-record", path);
}

void StreamRecorder::endFile()
{
    if (m_files.isEmpty())
        return;
    if (MpvCore *core = m_controller.core())
        core->setForThisStream("stream-record", QString());
    Q_EMIT fileFinished(m_files.last());
}

void StreamRecorder::onStateChanged()
{
    const bool can = canRecord();
    if (can != m_canRecord) {
        m_canRecord = can;
        Q_EMIT canRecordChanged(can);
    }
    // Stopped, another choice, a failure or a drop: the stream that was
    // recorded is gone, and with it the recording.
    if (m_recording && !can)
        stop();
}

void StreamRecorder::onTitleChanged(const QString &title)
{
    if (!m_recording || title.isEmpty() || title == m_fileTitle)
        return;
    // The engine closes the old file as it opens the new one.
    Q_EMIT fileFinished(m_files.last());
    beginFile(title);
    showText();
}

void StreamRecorder::onPropertyChanged(const QString &name, const QVariant &value)
{
    if (name == QLatin1String("file-format"))
        m_fileFormat = value.toString();
    else if (name == QLatin1String("audio-codec-name"))
        m_audioCodec = value.toString();
}

void StreamRecorder::onLogMessage(const QString &prefix, const QString &level, const QString &text)
{
    if (!m_recording || prefix != QLatin1String("recorder"))
        return;
    // The engine warns once that recording is new to it; only its errors end one.
    if (level == QLatin1String("error") || level == QLatin1String("fatal"))
        fail(Problem::EngineRefused, text);
}

void StreamRecorder::tick()
{
    if (QStorageInfo(m_folder).bytesAvailable() < kReserveBytes) {
        fail(Problem::DiskFull, m_folder);
        return;
    }
    showText();
}

void StreamRecorder::fail(Problem problem, const QString &detail)
{
    qCWarning(lcPlayer).noquote() << "录音:" << QMetaEnum::fromType<Problem>().valueToKey(int(problem)) << detail;
    stop();
    m_problem = problem;
    m_detail = detail;
    showText();
}

QString StreamRecorder::text() const
{
    if (m_recording) {
        const qint64 seconds = elapsedMs() / 1000;
        const QString time = seconds >= 3600
            ? u"%1:%2:%3"_s.arg(seconds / 3600).arg(seconds / 60 % 60, 2, 10, QLatin1Char('0')).arg(seconds % 60, 2, 10, QLatin1Char('0'))
            : u"%1:%2"_s.arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
        // The engine writes in large blocks: the size shows once the first is on disk.
        const qint64 written = bytes();
        if (written == 0)
            return u"录音 %1"_s.arg(time);
        return u"录音 %1 · %2"_s.arg(time, QLocale::c().formattedDataSize(written, 1, QLocale::DataSizeSIFormat));
    }
    switch (m_problem) {
    case Problem::None:
        return {};
    case Problem::NothingPlays:
        return u"没有可录的节目"_s;
    case Problem::FolderUnwritable:
        return u"无法录音:文件夹不可写"_s;
    case Problem::DiskFull:
        return u"录音已停止:磁盘空间不足"_s;
    case Problem::EngineRefused:
        return u"录音已停止:无法写入文件"_s;
    }
    return {};
}

void StreamRecorder::showText()
{
    const QString now = text();
    if (now == m_text)
        return;
    m_text = now;
    Q_EMIT textChanged(now);
}
