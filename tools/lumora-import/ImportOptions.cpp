#include "ImportOptions.h"

#include <QCommandLineParser>

#include "GbkText.h"

using namespace Qt::StringLiterals;

ToolConsole::Start ImportOptions::parse(const QStringList &arguments, QString *error)
{
    QCommandLineParser parser;
    const QCommandLineOption folder(QStringList{u"C"_s, u"folder"_s}, QString(), u"DIR"_s);
    const QCommandLineOption replace(u"replace"_s);
    const QCommandLineOption dryRunOption(QStringList{u"n"_s, u"dry-run"_s});
    const QCommandLineOption base(u"base"_s, QString(), u"URL"_s);
    const QCommandLineOption encoding(u"encoding"_s, QString(), u"NAME"_s);
    const QCommandLineOption group(u"group"_s, QString(), u"NAME"_s);
    const QCommandLineOption replaceWith(u"replace-with"_s, QString(), u"TEXT"_s);
    const QCommandLineOption keepDuplicates(u"keep-duplicates"_s);
    parser.addOptions({folder, replace, dryRunOption, base, encoding, group, replaceWith, keepDuplicates});
    if (const std::optional<ToolConsole::Start> decided = ToolConsole::parse(parser, arguments, error)) {
        return *decided;
    }
    const QStringList positional = parser.positionalArguments();
    if (positional.size() != 2) {
        *error = u"要给出播放列表（或 -）和列表文件两项 / give the playlist (or -) and the list file"_s;
        return ToolConsole::Start::Error;
    }
    playlistPath = positional.at(0);
    request.listFile = positional.at(1);
    if (parser.isSet(folder)) {
        request.folder = parser.value(folder);
    }
    request.replace = parser.isSet(replace);
    dryRun = parser.isSet(dryRunOption);
    request.base = parser.value(base);
    request.encoding = parser.value(encoding);
    request.group = parser.value(group);
    request.keepDuplicates = parser.isSet(keepDuplicates);
    if (parser.isSet(replaceWith)) {
        request.replacement = parser.value(replaceWith);
        if (request.replacement.contains(u'|') || request.replacement.contains(u'"')
            || !GbkText::holds(request.replacement)) {
            *error = u"--replace-with 的文字要能用 GBK 表示，且不含“|”和双引号 / "
                     u"the --replace-with text must have a GBK form and hold no \"|\" or double quote"_s;
            return ToolConsole::Start::Error;
        }
    }
    return ToolConsole::Start::Run;
}

QString ImportOptions::helpText()
{
    return uR"(用法：lumora-import [选项] <播放列表|-> <列表文件>

把 M3U/M3U8（#EXTM3U 与 #EXTINF 名称，或只有地址的行）或 PLS 播放列表
转成一个列表文件的记录：每行一条 |名称|地址，GBK 编码，CR LF 换行，
含逗号的记录整条加双引号。默认追加到列表文件末尾，写到该文件的容量为止，
没写入的条数会说明。播放列表可以是文件，也可以用 - 从标准输入读取。
列表文件是十七个之一，写文件名（gb/ah.txt、tv.txt）或菜单名（ah、tvlist）。

名称的处理：GBK 无法表示的字符（其他文字、带重音的字母、数学字母）尽量转写为
拉丁字母，无法转写的（如表情符号）每个换成“□”；名称中的“|”写作全角“｜”，
双引号写作全角“＂”。地址中的“|”、双引号和 GBK 无法表示的字符按百分号编码。
播放器不会打开的地址、已在列表中的地址（重复）不写入。每一处改动都会说明。

选项：
  -C, --folder DIR       列表文件所在的目录（默认为当前目录）
      --replace          用播放列表替换列表文件原有的内容（默认追加）
  -n, --dry-run          只显示将要写入的记录，不写文件
      --base URL         相对地址以此为准（网址或目录；默认为播放列表文件所在目录）
      --encoding NAME    播放列表的编码（默认：有效的 UTF-8 按 UTF-8，否则按 GBK）
      --group NAME       只导入 group-title（或 #EXTGRP）为 NAME 的条目
      --replace-with T   代替无法表示的字符的文字（默认“□”，空字符串表示删去）
      --keep-duplicates  重复的地址也写入
  -h, --help             显示本说明
      --version          显示版本

退出状态：0 全部写入（重复的除外）；1 已写入，但有条目因超出容量或地址无法使用
而未写入；2 什么也没有写入（读不到播放列表、没有这个列表文件、无法写入、命令行有误）。

Usage: lumora-import [options] <playlist|-> <list file>

Converts an M3U/M3U8 playlist (#EXTM3U with #EXTINF names, or plain lines of
addresses) or a PLS playlist into records of one list file: |name|address per
line, GBK, CR LF, a record that holds a comma enclosed in double quotes. By
default the records are appended, up to the file's capacity; how many were
left out is said. The playlist is a file, or standard input for -. The list
file is one of the seventeen, by file name (gb/ah.txt, tv.txt) or by menu
name (ah, tvlist).

Names: characters that GBK cannot hold (other scripts, accented letters,
mathematical letters) are spelled in Latin letters where possible; those with
no spelling (emoji) become one "□" each; "|" in a name is written as the
full-width "｜" and a double quote as the full-width "＂". In addresses, "|",
double quotes and characters without a GBK form are percent-encoded.
Addresses the player would not open and addresses already in the list
(duplicates) are not written. Every such change is said.

Options:
  -C, --folder DIR       folder of the list files (default: the current one)
      --replace          replace what the list file holds (default: append)
  -n, --dry-run          show the records that would be written, write nothing
      --base URL         what relative addresses are resolved against (a URL
                         or a folder; default: the playlist file's folder)
      --encoding NAME    the playlist's encoding (default: UTF-8 when it is
                         valid UTF-8, GBK otherwise)
      --group NAME       import only the entries whose group-title (or
                         #EXTGRP) is NAME
      --replace-with T   text for characters without a GBK form (default "□";
                         an empty text drops them)
      --keep-duplicates  write repeated addresses too
  -h, --help             show this text
      --version          show the version

Exit status: 0 every entry written (duplicates aside); 1 written, but
entries left out for the capacity or unusable addresses; 2 nothing written
(no playlist, no such list file, cannot write, wrong command line).
)"_s;
}
