#include "MediaLibrary.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>

#include "AsfBroadcast.h"
#include "DemoServerLog.h"
#include "OggChain.h"
#include "TsTimeline.h"

namespace {

enum class Kind { Plain, Ogg, Asf, Ts, Hls };

struct Item
{
    QString name;   // what the server asks for
    QString output; // file or folder in the cache
    QByteArray contentType;
    int seconds;
    int kbps; // exact for constant bit rate, 0: measured from the file size
    Kind kind;
};

QList<Item> catalogue()
{
    QList<Item> items;
    for (int n = 1; n <= 8; ++n)
        items.append({QStringLiteral("radio-%1").arg(n), QStringLiteral("radio-%1.mp3").arg(n), "audio/mpeg", 12,
                      n <= 4 ? 128 : 64, Kind::Plain});
    items.append({QStringLiteral("radio-aac"), QStringLiteral("radio.aac"), "audio/aac", 12, 0, Kind::Plain});
    items.append({QStringLiteral("radio-ogg"), QStringLiteral("radio.ogg"), "audio/ogg", 12, 0, Kind::Ogg});
    items.append({QStringLiteral("radio-opus"), QStringLiteral("radio.opus"), "audio/ogg; codecs=opus", 12, 0,
                  Kind::Ogg});
    items.append({QStringLiteral("radio-wma"), QStringLiteral("radio.wma"), "audio/x-ms-wma", 12, 0, Kind::Asf});
    for (int n = 1; n <= 4; ++n)
        items.append({QStringLiteral("xs-%1").arg(n), QStringLiteral("xs-%1.mp3").arg(n), "audio/mpeg", 15, 64,
                      Kind::Plain});
    for (int n = 1; n <= 3; ++n)
        items.append({QStringLiteral("tv-%1").arg(n), QStringLiteral("tv-%1.ts").arg(n), "video/mp2t", 10, 0,
                      Kind::Ts});
    items.append({QStringLiteral("hls-radio"), QStringLiteral("hls-radio"), "video/mp2t", 12, 0, Kind::Hls});
    items.append({QStringLiteral("hls-tv"), QStringLiteral("hls-tv"), "video/mp2t", 12, 0, Kind::Hls});
    return items;
}

QString stampPath(const QString &dir)
{
    return dir + QStringLiteral("/generation.stamp");
}

QByteArray stampHeader()
{
    return "lumora-demo-media " + QByteArray::number(MediaLibrary::kGeneration) + '\n';
}

// Every file of the cache with its size, in a fixed order.
QList<QPair<QString, qint64>> listFiles(const QString &dir)
{
    QList<QPair<QString, qint64>> files;
    for (const Item &item : catalogue()) {
        if (item.kind == Kind::Hls) {
            const QDir sub(dir + QLatin1Char('/') + item.output);
            for (const QFileInfo &info : sub.entryInfoList(QDir::Files, QDir::Name))
                files.append({item.output + QLatin1Char('/') + info.fileName(), info.size()});
        } else {
            const QFileInfo info(dir + QLatin1Char('/') + item.output);
            files.append({item.output, info.exists() ? info.size() : -1});
        }
    }
    return files;
}

// A pluck arpeggio over a soft drone: recognisably "music" and different per channel.
QString music(double base, int pattern)
{
    static const int steps[4][4] = {{0, 4, 7, 12}, {0, 3, 7, 10}, {0, 5, 9, 12}, {0, 2, 4, 7}};
    const int *s = steps[pattern % 4];
    const QString m = QStringLiteral("mod(floor(t*2),4)");
    const QString step = QStringLiteral("if(eq(%1,0),%2,if(eq(%1,1),%3,if(eq(%1,2),%4,%5)))")
                             .arg(m)
                             .arg(s[0])
                             .arg(s[1])
                             .arg(s[2])
                             .arg(s[3]);
    return QStringLiteral("0.10*exp(-3*mod(t,0.5))*sin(2*PI*%1*pow(2,(%2)/12)*t)+0.025*sin(2*PI*%3*t)"
                          "+0.015*sin(2*PI*%4*t)")
        .arg(base)
        .arg(step)
        .arg(base / 2)
        .arg(base * 3 / 4);
}

QStringList ffmpegHead()
{
    return {QStringLiteral("-hide_banner"), QStringLiteral("-loglevel"), QStringLiteral("error"),
            QStringLiteral("-nostdin"), QStringLiteral("-y"), QStringLiteral("-filter_threads"), QStringLiteral("1")};
}

QStringList mp3(int kbps, int channels)
{
    return {QStringLiteral("-c:a"), QStringLiteral("libmp3lame"), QStringLiteral("-b:a"),
            QStringLiteral("%1k").arg(kbps), QStringLiteral("-ar"), QStringLiteral("44100"), QStringLiteral("-ac"),
            QString::number(channels), QStringLiteral("-write_xing"), QStringLiteral("0"),
            QStringLiteral("-id3v2_version"), QStringLiteral("0"), QStringLiteral("-f"), QStringLiteral("mp3")};
}

QStringList encoder(const QString &codec, const QString &bitrate, const QString &rate, const QString &format)
{
    return {QStringLiteral("-c:a"), codec, QStringLiteral("-b:a"), bitrate, QStringLiteral("-ar"), rate,
            QStringLiteral("-ac"), QStringLiteral("2"), QStringLiteral("-f"), format};
}

QString chineseNumber(int n)
{
    static const char *digits[] = {"零", "一", "二", "三", "四", "五", "六", "七", "八", "九"};
    return QString::fromUtf8(digits[n % 10]);
}

} // namespace

Q_LOGGING_CATEGORY(lcDemoServer, "lumora.demoserver")

MediaLibrary::MediaLibrary(const QString &directory, QObject *parent)
    : QObject(parent)
    , m_directory(QDir(directory).absolutePath())
{
    m_lockPoll.setInterval(200);
    connect(&m_lockPoll, &QTimer::timeout, this, &MediaLibrary::tryLock);
}

MediaLibrary::~MediaLibrary()
{
    for (QProcess *process : std::as_const(m_processes)) {
        process->disconnect(this);
        process->kill();
        process->waitForFinished(2000);
    }
}

QString MediaLibrary::defaultDirectory()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + QStringLiteral("/lumora-demo");
}

const MediaAsset *MediaLibrary::asset(const QString &name) const
{
    const auto it = m_assets.constFind(name);
    return it == m_assets.constEnd() ? nullptr : &it.value();
}

std::shared_ptr<const AsfBroadcast> MediaLibrary::broadcast(const QString &name) const
{
    return m_broadcasts.value(name);
}

const HlsPlaylist *MediaLibrary::hls(const QString &name) const
{
    const auto it = m_hls.constFind(name);
    return it == m_hls.constEnd() ? nullptr : &it.value();
}

void MediaLibrary::prepare()
{
    m_clock.start();
    if (!QDir().mkpath(m_directory)) {
        fail(QStringLiteral("cannot create %1").arg(m_directory));
        return;
    }
    // Several servers may start at once on one cache (parallel tests); one makes
    // the media, the others wait for it and then find a valid cache.
    m_lock = std::make_unique<QLockFile>(m_directory + QStringLiteral("/generation.lock"));
    m_lock->setStaleLockTime(5 * 60 * 1000);
    m_lockPoll.start();
    tryLock();
}

void MediaLibrary::tryLock()
{
    if (!m_lock->tryLock(0)) {
        if (m_clock.elapsed() > 5 * 60 * 1000) {
            m_lockPoll.stop();
            fail(QStringLiteral("media folder %1 stays locked by another server").arg(m_directory));
        }
        return;
    }
    m_lockPoll.stop();
    if (cacheIsValid()) {
        m_lock->unlock();
        if (load())
            Q_EMIT ready();
        else
            fail(QStringLiteral("cannot read the media in %1").arg(m_directory));
        return;
    }
    m_ffmpeg = QStandardPaths::findExecutable(QStringLiteral("ffmpeg"));
    if (m_ffmpeg.isEmpty()) {
        fail(QStringLiteral("ffmpeg is needed to make the demonstration media"));
        return;
    }
    m_espeak = QStandardPaths::findExecutable(QStringLiteral("espeak-ng"));
    if (m_espeak.isEmpty())
        qCWarning(lcDemoServer) << "espeak-ng not found: channels get music without spoken names";
    for (const char *candidate : {"/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
                                  "/usr/share/fonts/TTF/DejaVuSans.ttf",
                                  "/usr/share/fonts/dejavu/DejaVuSans.ttf",
                                  "/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf"}) {
        if (QFileInfo::exists(QString::fromLatin1(candidate))) {
            m_font = QString::fromLatin1(candidate);
            break;
        }
    }
    m_regenerated = true;
    qCInfo(lcDemoServer).noquote() << "making demonstration media in" << m_directory;
    QFile::remove(stampPath(m_directory));
    QDir(work(QString())).removeRecursively();
    QDir().mkpath(work(QString()));
    buildJobs();
    startJobs();
}

bool MediaLibrary::cacheIsValid() const
{
    QFile stamp(stampPath(m_directory));
    if (!stamp.open(QIODevice::ReadOnly))
        return false;
    QByteArray expected = stampHeader();
    for (const auto &[name, size] : listFiles(m_directory)) {
        if (size <= 0)
            return false;
        expected += name.toUtf8() + ' ' + QByteArray::number(size) + '\n';
    }
    return stamp.readAll() == expected;
}

bool MediaLibrary::writeStamp()
{
    QByteArray text = stampHeader();
    for (const auto &[name, size] : listFiles(m_directory)) {
        if (size <= 0)
            return false;
        text += name.toUtf8() + ' ' + QByteArray::number(size) + '\n';
    }
    QFile stamp(stampPath(m_directory));
    return stamp.open(QIODevice::WriteOnly | QIODevice::Truncate) && stamp.write(text) == text.size();
}

QString MediaLibrary::work(const QString &name) const
{
    return m_directory + QStringLiteral("/work/") + name;
}

QString MediaLibrary::target(const QString &output) const
{
    return m_directory + QLatin1Char('/') + output;
}

MediaLibrary::Job MediaLibrary::audioJob(const QString &output, const QStringList &speech, const QString &musicExpr,
                                         int seconds, const QStringList &encode)
{
    Job job;
    job.output = output;
    const QString part = target(output) + QStringLiteral(".part");
    const QString background = QStringLiteral("aevalsrc='%1':s=44100:d=%2").arg(musicExpr).arg(seconds);

    // `speech` holds espeak-ng argument lists, one per spoken line.
    QStringList inputs;
    for (int i = 0; i < speech.size(); ++i) {
        const QString wav = work(QStringLiteral("%1-%2.wav").arg(output).arg(i));
        QStringList args = speech.at(i).split(QLatin1Char('\x1f'));
        const QString text = args.takeLast();
        args << QStringLiteral("-w") << wav << text;
        job.preparation.append({m_espeak, args});
        inputs << QStringLiteral("-i") << wav;
    }

    QString graph;
    for (int i = 0; i < speech.size(); ++i)
        graph += QStringLiteral("[%1:a]aresample=44100,aformat=channel_layouts=mono,apad=pad_dur=0.5[v%1];").arg(i);
    for (int i = 0; i < speech.size(); ++i)
        graph += QStringLiteral("[v%1]").arg(i);
    graph += QStringLiteral("concat=n=%1:v=0:a=1,adelay=300,volume=1.4,apad[s];").arg(speech.size());
    graph += QStringLiteral("[%1:a][s]amix=inputs=2:duration=first:normalize=0[a]").arg(speech.size());

    QStringList main = ffmpegHead() + inputs;
    main << QStringLiteral("-f") << QStringLiteral("lavfi") << QStringLiteral("-i") << background
         << QStringLiteral("-filter_complex") << graph << QStringLiteral("-map") << QStringLiteral("[a]");
    main += encode;
    main << part;
    job.main.append({m_ffmpeg, main});

    QStringList plain = ffmpegHead();
    plain << QStringLiteral("-f") << QStringLiteral("lavfi") << QStringLiteral("-i") << background;
    plain += encode;
    plain << part;
    job.fallback.append({m_ffmpeg, plain});
    return job;
}

MediaLibrary::Job MediaLibrary::videoJob(const QString &output, const QString &speech, const QString &pattern,
                                         const QString &label, const QString &musicExpr, int seconds,
                                         const QStringList &encode, bool directory)
{
    Job job;
    job.output = output;
    job.directory = directory;
    const QString part = target(output) + QStringLiteral(".part");
    const QString wav = work(output + QStringLiteral(".wav"));
    const QString background = QStringLiteral("aevalsrc='%1':s=44100:d=%2").arg(musicExpr).arg(seconds);
    const QString video = pattern + QStringLiteral("=s=320x180:r=25");
    QStringList tail = encode;
    if (directory) {
        tail << QStringLiteral("-hls_segment_filename") << part + QStringLiteral("/seg-%03d.ts")
             << part + QStringLiteral("/index.m3u8");
    } else {
        tail << part;
    }
    const QStringList duration = {QStringLiteral("-t"), QString::number(seconds)};

    job.preparation.append({m_espeak, {QStringLiteral("-v"), QStringLiteral("cmn"), QStringLiteral("-s"),
                                       QStringLiteral("150"), QStringLiteral("-w"), wav, speech}});
    QString draw;
    if (!m_font.isEmpty()) {
        draw = QStringLiteral(",drawtext=fontfile=%1:text='%2  %{pts\\:hms}':x=8:y=8:fontsize=16:fontcolor=white"
                              ":box=1:boxcolor=black@0.6:boxborderw=4")
                   .arg(m_font, label);
    }
    QStringList main = ffmpegHead();
    main << QStringLiteral("-i") << wav << QStringLiteral("-f") << QStringLiteral("lavfi") << QStringLiteral("-i")
         << video << QStringLiteral("-f") << QStringLiteral("lavfi") << QStringLiteral("-i") << background
         << QStringLiteral("-filter_complex")
         << QStringLiteral("[1:v]format=yuv420p%1[v];[0:a]aresample=44100,adelay=300,volume=1.4,apad[s];"
                           "[2:a][s]amix=inputs=2:duration=first:normalize=0[a]")
                .arg(draw)
         << QStringLiteral("-map") << QStringLiteral("[v]") << QStringLiteral("-map") << QStringLiteral("[a]");
    job.main.append({m_ffmpeg, main + duration + tail});

    QStringList plain = ffmpegHead();
    plain << QStringLiteral("-f") << QStringLiteral("lavfi") << QStringLiteral("-i") << video << QStringLiteral("-f")
          << QStringLiteral("lavfi") << QStringLiteral("-i") << background << QStringLiteral("-pix_fmt")
          << QStringLiteral("yuv420p");
    job.fallback.append({m_ffmpeg, plain + duration + tail});
    return job;
}

void MediaLibrary::buildJobs()
{
    const QChar sep = QLatin1Char('\x1f');
    auto say = [&](const QString &text, const QString &voice = QStringLiteral("cmn"), int pitch = 50,
                   int speed = 150) {
        return QStringList{QStringLiteral("-v"), voice, QStringLiteral("-p"), QString::number(pitch),
                           QStringLiteral("-s"), QString::number(speed), text}
            .join(sep);
    };

    m_jobs.clear();
    for (int n = 1; n <= 8; ++n) {
        m_jobs.append(audioJob(QStringLiteral("radio-%1.mp3").arg(n),
                               {say(QStringLiteral("演示电台 第%1频道").arg(chineseNumber(n)))},
                               music(196.0 * std::pow(2.0, (n - 1) / 12.0), n - 1), 12, mp3(n <= 4 ? 128 : 64, 2)));
    }
    const QString other = music(246.94, 1);
    m_jobs.append(audioJob(QStringLiteral("radio.aac"), {say(QStringLiteral("演示电台 AAC 频道"))}, other, 12,
                           encoder(QStringLiteral("aac"), QStringLiteral("64k"), QStringLiteral("44100"),
                                   QStringLiteral("adts"))));
    m_jobs.append(audioJob(QStringLiteral("radio.ogg"), {say(QStringLiteral("演示电台 Vorbis 频道"))}, other, 12,
                           encoder(QStringLiteral("libvorbis"), QStringLiteral("64k"), QStringLiteral("44100"),
                                   QStringLiteral("ogg"))));
    m_jobs.append(audioJob(QStringLiteral("radio.opus"), {say(QStringLiteral("演示电台 Opus 频道"))}, other, 12,
                           encoder(QStringLiteral("libopus"), QStringLiteral("48k"), QStringLiteral("48000"),
                                   QStringLiteral("ogg"))));
    m_jobs.append(audioJob(QStringLiteral("radio.wma"), {say(QStringLiteral("演示电台 WMA 频道"))}, other, 12,
                           encoder(QStringLiteral("wmav2"), QStringLiteral("64k"), QStringLiteral("44100"),
                                   QStringLiteral("asf"))));

    // Two voices taking turns, as in a comic dialogue.
    const QList<QPair<QString, QString>> dialogue = {
        {QStringLiteral("演示相声 第一频道。今天咱们说一段绕口令。"), QStringLiteral("好啊，您先来。")},
        {QStringLiteral("演示相声 第二频道。吃葡萄不吐葡萄皮。"), QStringLiteral("不吃葡萄倒吐葡萄皮。")},
        {QStringLiteral("演示相声 第三频道。您这是从哪儿来呀？"), QStringLiteral("我从收音机里来。")},
        {QStringLiteral("演示相声 第四频道。四是四，十是十。"), QStringLiteral("十四是十四，四十是四十。")},
    };
    for (int n = 1; n <= 4; ++n) {
        const auto &[first, second] = dialogue.at(n - 1);
        m_jobs.append(audioJob(QStringLiteral("xs-%1.mp3").arg(n),
                               {say(first, QStringLiteral("cmn+m3"), 40, 160), say(second, QStringLiteral("cmn+f3"), 65, 175)},
                               QStringLiteral("0.02*sin(2*PI*110*t)*(0.6+0.4*sin(2*PI*0.2*t))"), 15, mp3(64, 1)));
    }

    const QStringList tv = {QStringLiteral("-c:v"), QStringLiteral("libx264"), QStringLiteral("-preset"),
                            QStringLiteral("ultrafast"), QStringLiteral("-tune"), QStringLiteral("zerolatency"),
                            QStringLiteral("-threads"), QStringLiteral("1"), QStringLiteral("-g"), QStringLiteral("25"),
                            QStringLiteral("-b:v"), QStringLiteral("250k"), QStringLiteral("-maxrate"),
                            QStringLiteral("300k"), QStringLiteral("-bufsize"), QStringLiteral("300k"),
                            QStringLiteral("-c:a"), QStringLiteral("aac"), QStringLiteral("-b:a"),
                            QStringLiteral("64k"), QStringLiteral("-ac"), QStringLiteral("2"),
                            // One audio frame per PES packet, so the loop seam can be timed exactly.
                            QStringLiteral("-pes_payload_size"), QStringLiteral("0"), QStringLiteral("-f"),
                            QStringLiteral("mpegts")};
    const QStringList patterns = {QStringLiteral("testsrc2"), QStringLiteral("smptehdbars"),
                                  QStringLiteral("mandelbrot")};
    for (int n = 1; n <= 3; ++n) {
        m_jobs.append(videoJob(QStringLiteral("tv-%1.ts").arg(n), QStringLiteral("演示电视 第%1频道").arg(chineseNumber(n)),
                               patterns.at(n - 1), QStringLiteral("LUMORA TV %1").arg(n),
                               music(261.63 * std::pow(2.0, n / 12.0), n + 1), 10, tv, false));
    }

    const QStringList hlsMux = {QStringLiteral("-f"), QStringLiteral("hls"), QStringLiteral("-hls_time"),
                                QStringLiteral("2"), QStringLiteral("-hls_list_size"), QStringLiteral("0"),
                                QStringLiteral("-hls_segment_type"), QStringLiteral("mpegts")};
    QStringList hlsTv = tv.mid(0, tv.size() - 4);
    hlsTv << QStringLiteral("-force_key_frames") << QStringLiteral("expr:gte(t,n_forced*2)");
    m_jobs.append(videoJob(QStringLiteral("hls-tv"), QStringLiteral("演示电视 直播流"), QStringLiteral("testsrc2"),
                           QStringLiteral("LUMORA HLS"), music(220.0, 2), 12, hlsTv + hlsMux, true));

    Job radio = audioJob(QStringLiteral("hls-radio"), {say(QStringLiteral("演示电台 直播流"))}, music(293.66, 3), 12,
                         {QStringLiteral("-c:a"), QStringLiteral("aac"), QStringLiteral("-b:a"), QStringLiteral("64k"),
                          QStringLiteral("-ar"), QStringLiteral("44100"), QStringLiteral("-ac"), QStringLiteral("2")});
    radio.directory = true;
    const QString part = target(radio.output) + QStringLiteral(".part");
    for (QList<Command> *commands : {&radio.main, &radio.fallback}) {
        QStringList &args = (*commands)[0].arguments;
        args.removeLast(); // the output file; the muxer writes a folder instead
        args += hlsMux;
        args << QStringLiteral("-hls_segment_filename") << part + QStringLiteral("/seg-%03d.ts")
             << part + QStringLiteral("/index.m3u8");
    }
    m_jobs.append(radio);

    if (m_espeak.isEmpty()) {
        for (Job &job : m_jobs) {
            job.preparation.clear();
            job.main = job.fallback;
        }
    }
    // The video jobs are the longest; start them first so that they overlap the rest.
    std::stable_partition(m_jobs.begin(), m_jobs.end(),
                          [](const Job &job) { return job.output.startsWith(QLatin1String("tv")) || job.directory; });
}

void MediaLibrary::startJobs()
{
    const int parallel = qBound(2, QThread::idealThreadCount() + 1, 4);
    for (int i = 0; i < parallel; ++i)
        runNextJob();
}

void MediaLibrary::runNextJob()
{
    if (m_failed)
        return;
    if (m_nextJob >= m_jobs.size()) {
        if (m_running == 0 && m_done == m_jobs.size()) {
            QDir(work(QString())).removeRecursively();
            const bool stamped = writeStamp();
            m_lock->unlock();
            if (!stamped || !load()) {
                fail(QStringLiteral("the media made in %1 is incomplete").arg(m_directory));
                return;
            }
            qCInfo(lcDemoServer) << "media ready after" << m_clock.elapsed() << "ms";
            Q_EMIT ready();
        }
        return;
    }
    const int index = m_nextJob++;
    ++m_running;
    const Job &job = m_jobs.at(index);
    const QString part = target(job.output) + QStringLiteral(".part");
    if (job.directory) {
        QDir(part).removeRecursively();
        QDir().mkpath(part);
    } else {
        QFile::remove(part);
    }
    if (job.preparation.isEmpty())
        runCommands(index, job.main, false, true);
    else
        runCommands(index, job.preparation, false, false);
}

void MediaLibrary::runCommands(int jobIndex, QList<Command> commands, bool isFallback, bool afterPreparation)
{
    if (m_failed)
        return;
    if (commands.isEmpty()) {
        if (!afterPreparation) {
            runCommands(jobIndex, m_jobs.at(jobIndex).main, false, true);
            return;
        }
        jobDone(jobIndex, true);
        return;
    }
    const Command command = commands.takeFirst();
    auto *process = new QProcess(this);
    m_processes.append(process);
    process->setProcessChannelMode(QProcess::SeparateChannels);
    process->setStandardOutputFile(QProcess::nullDevice());
    auto *deadline = new QTimer(process);
    deadline->setSingleShot(true);
    connect(deadline, &QTimer::timeout, process, &QProcess::kill);
    deadline->start(90 * 1000);

    auto onEnd = [this, process, jobIndex, commands, isFallback, afterPreparation](bool ok) {
        m_processes.removeOne(process);
        process->deleteLater();
        if (ok) {
            runCommands(jobIndex, commands, isFallback, afterPreparation);
            return;
        }
        const Job &job = m_jobs.at(jobIndex);
        const QByteArray errors = process->readAllStandardError().trimmed();
        if (isFallback) {
            qCWarning(lcDemoServer).noquote() << job.output << "could not be made:" << QString::fromLocal8Bit(errors);
            jobDone(jobIndex, false);
            return;
        }
        qCWarning(lcDemoServer).noquote() << job.output << "falls back to a plain version:"
                                          << QString::fromLocal8Bit(errors.left(300));
        const QString part = target(job.output) + QStringLiteral(".part");
        if (job.directory) {
            QDir(part).removeRecursively();
            QDir().mkpath(part);
        }
        runCommands(jobIndex, job.fallback, true, true);
    };
    connect(process, &QProcess::finished, this,
            [process, onEnd](int code, QProcess::ExitStatus status) {
                onEnd(status == QProcess::NormalExit && code == 0);
                Q_UNUSED(process);
            });
    connect(process, &QProcess::errorOccurred, this, [process, onEnd](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            onEnd(false);
        Q_UNUSED(process);
    });
    process->start(command.program, command.arguments);
}

void MediaLibrary::jobDone(int jobIndex, bool ok)
{
    --m_running;
    const Job &job = m_jobs.at(jobIndex);
    const QString part = target(job.output) + QStringLiteral(".part");
    const QString final = target(job.output);
    if (ok) {
        if (job.directory) {
            QDir(final).removeRecursively();
            ok = QDir().rename(part, final);
        } else {
            QFile::remove(final);
            ok = QFile::rename(part, final);
        }
    }
    if (!ok) {
        fail(QStringLiteral("could not make %1").arg(job.output));
        return;
    }
    ++m_done;
    runNextJob();
}

bool MediaLibrary::load()
{
    m_assets.clear();
    m_hls.clear();
    m_broadcasts.clear();
    for (const Item &item : catalogue()) {
        const QString path = target(item.output);
        if (item.kind == Kind::Hls) {
            QFile index(path + QStringLiteral("/index.m3u8"));
            QList<double> durations;
            QList<QByteArray> uris;
            if (!index.open(QIODevice::ReadOnly) || !HlsPlaylist::parseIndex(index.readAll(), &durations, &uris))
                return false;
            QList<QByteArray> segments;
            for (const QByteArray &uri : std::as_const(uris)) {
                QFile segment(path + QLatin1Char('/') + QString::fromUtf8(uri));
                if (!segment.open(QIODevice::ReadOnly))
                    return false;
                segments.append(segment.readAll());
            }
            m_hls.insert(item.name, HlsPlaylist(segments, durations));
            continue;
        }
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return false;
        MediaAsset asset;
        asset.contentType = item.contentType;
        const QByteArray data = file.readAll();
        if (data.isEmpty())
            return false;
        asset.bytesPerSecond = item.kbps > 0 ? item.kbps * 1000.0 / 8.0 : double(data.size()) / item.seconds;
        asset.body = data;
        if (item.kind == Kind::Asf) {
            auto asf = std::make_shared<const AsfBroadcast>(data);
            if (!asf->isValid())
                return false;
            asset.head = asf->head();
            asset.body = asf->pass(0);
            asset.pass = [asf](quint32 loop) { return asf->pass(loop); };
            m_broadcasts.insert(item.name, asf);
        } else if (item.kind == Kind::Ogg) {
            asset.pass = [data](quint32 loop) {
                return loop == 0 ? data : OggChain::withSerial(data, 0x4c750000u + loop * 16);
            };
        } else if (item.kind == Kind::Ts) {
            auto ts = std::make_shared<const TsTimeline>(data);
            if (ts->isValid())
                asset.pass = [ts](quint32 loop) { return ts->pass(loop); };
        }
        m_assets.insert(item.name, asset);
    }
    return true;
}

void MediaLibrary::fail(const QString &reason)
{
    if (m_failed)
        return;
    m_failed = true;
    if (m_lock && m_lock->isLocked())
        m_lock->unlock();
    Q_EMIT failed(reason);
}
