#include "CheckOptions.h"

#include <QCommandLineParser>

#include "ProbeProtocol.h"
#include "ToolConsole.h"

using namespace Qt::StringLiterals;

ToolConsole::Start CheckOptions::parse(const QStringList &arguments, QString *error)
{
    QCommandLineParser parser;
    const QCommandLineOption parallelOption(QStringList{u"j"_s, u"parallel"_s}, QString(), u"N"_s);
    const QCommandLineOption timeoutOption(QStringList{u"t"_s, u"timeout"_s}, QString(), u"S"_s);
    const QCommandLineOption noProbe(u"no-probe"_s);
    const QCommandLineOption jsonOption(u"json"_s);
    const QCommandLineOption progressOption(u"progress"_s);
    const QCommandLineOption noProgress(u"no-progress"_s);
    const QCommandLineOption worker(QString::fromLatin1(ProbeProtocol::kWorkerArgument + 2));
    parser.addOptions({parallelOption, timeoutOption, noProbe, jsonOption, progressOption, noProgress, worker});
    if (const std::optional<ToolConsole::Start> decided = ToolConsole::parse(parser, arguments, error)) {
        return *decided;
    }
    if (parser.isSet(parallelOption)) {
        bool ok = false;
        parallel = parser.value(parallelOption).toInt(&ok);
        if (!ok || parallel < 1 || parallel > kMaxParallel) {
            *error = u"--parallel 要一个 1 到 %1 的整数 / --parallel needs a whole number from 1 to %1"_s.arg(kMaxParallel);
            return ToolConsole::Start::Error;
        }
    }
    if (parser.isSet(timeoutOption)) {
        bool ok = false;
        timeoutSeconds = parser.value(timeoutOption).toDouble(&ok);
        if (!ok || !(timeoutSeconds >= 0.1) || timeoutSeconds > kMaxTimeoutSeconds) {
            *error = u"--timeout 要一个 0.1 到 %1 之间的秒数 / --timeout needs seconds from 0.1 to %1"_s.arg(kMaxTimeoutSeconds);
            return ToolConsole::Start::Error;
        }
    }
    if (parser.isSet(worker)) {
        this->worker = true;
        return ToolConsole::Start::Run;
    }
    probe = !parser.isSet(noProbe);
    json = parser.isSet(jsonOption);
    if (parser.isSet(progressOption) && parser.isSet(noProgress)) {
        *error = u"--progress 与 --no-progress 只能选一个 / choose one of --progress and --no-progress"_s;
        return ToolConsole::Start::Error;
    }
    progress = parser.isSet(progressOption) ? Progress::Always
               : parser.isSet(noProgress)   ? Progress::Never
                                            : Progress::Auto;
    const QStringList folders = parser.positionalArguments();
    if (folders.size() > 1) {
        *error = u"只能给一个目录 / only one folder can be given"_s;
        return ToolConsole::Start::Error;
    }
    if (!folders.isEmpty()) {
        folder = folders.first();
    }
    return ToolConsole::Start::Run;
}

QString CheckOptions::helpText()
{
    return uR"(用法：lumora-check [选项] [目录]

用播放器自己的读取规则读取目录（默认为当前目录）中的十七个列表文件，
逐个文件列出载入时发现的问题（与播放器的用词相同）和条目数与容量，
然后用播放器的地址规则、播放列表解析和不出声的 libmpv 同时试播各个地址：
能播放的给出首次解码出声音的时间、编码、码率和正在播放的标题，
不能播放的给出原因。列表文件只读不写。

选项：
  -j, --parallel N   同时试播的地址数，1 到 64（默认 16）
  -t, --timeout S    每个地址的时限，秒，可带小数（默认 10）
      --no-probe     只读列表文件，不试播
      --json         以 JSON 输出，供脚本使用
      --progress     总是在标准错误上显示进度行
      --no-progress  不显示进度行（默认只在终端上显示）
  -h, --help         显示本说明
      --version      显示版本

退出状态：0 全部可以播放；1 有条目无法播放或载入时有问题；
2 有列表文件无法读取（包括文件不存在），或命令行有误。

Usage: lumora-check [options] [folder]

Reads the seventeen list files of the folder (the current one by default)
with the player's own reader and reports, file by file, every problem the
loader finds (in the loader's words) and the number of entries against the
capacity. Then it tries every address at once, a bounded number at a time,
with the player's address rules, playlist resolution and a libmpv without
sound or video output: for a station that plays, the time to the first
decoded audio, the codec, the bitrate and the now-playing title; for one that
does not, the reason. The list files are only read, never written.

Options:
  -j, --parallel N   addresses tried at the same time, 1 to 64 (default 16)
  -t, --timeout S    time limit for one address, in seconds (default 10)
      --no-probe     read the list files only, try no address
      --json         write JSON, for scripts
      --progress     always show the progress line on standard error
      --no-progress  never show it (by default only on a terminal)
  -h, --help         show this text
      --version      show the version

Exit status: 0 every entry plays; 1 some entry does not play or the loader
found a problem; 2 a list file cannot be read (a missing one included), or
the command line is wrong.
)"_s;
}
