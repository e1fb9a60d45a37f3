// Prints how fast the list-file reader and catalogue loading are:
//   the reader alone on a 10 MB list file (records per second, MB/s), and
//   one whole load of a catalogue filled to every capacity (797 entries) into
//   in-memory menus, against one load of seventeen empty list files.
// Run it from anywhere; it works in a temporary folder.

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <vector>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QStringEncoder>
#include <QTemporaryDir>

#include "CaptionList.h"
#include "ChannelCatalogue.h"
#include "ListFileReader.h"

using namespace Qt::StringLiterals;

namespace {

QByteArray gbk(const QString &text)
{
    return QStringEncoder("GBK").encode(text);
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

QByteArray record(int i)
{
    return gbk(u"|安徽新闻综合广播%1|http://127.0.0.1:8931/radio/%2.mp3\r\n"_s.arg(i).arg(i % 8 + 1));
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void benchReader()
{
    const qint64 target = 10 * 1000 * 1000;
    QByteArray bytes;
    bytes.reserve(target + 100);
    int records = 0;
    while (bytes.size() < target) {
        bytes += record(records++);
    }
    if (!writeFile(u"big.txt"_s, bytes)) {
        std::fprintf(stderr, "cannot write big.txt\n");
        return;
    }

    std::vector<double> seconds;
    for (int run = 0; run < 7; ++run) {
        ListFileReader reader;
        QElapsedTimer timer;
        timer.start();
        reader.open(u"big.txt"_s);
        int read = 0;
        qsizetype checksum = 0;
        while (!reader.atEnd()) {
            const std::optional<ChannelEntry> entry = ListFileReader::parseEntry(reader.readRecord());
            checksum += entry ? entry->address.size() : 0;
            ++read;
        }
        reader.close();
        seconds.push_back(double(timer.nsecsElapsed()) / 1e9);
        if (read != records || checksum == 0) {
            std::fprintf(stderr, "read %d records, expected %d\n", read, records);
        }
    }
    const double s = median(seconds);
    std::printf("reader, %.1f MB list file, %d records (median of %zu runs):\n", double(bytes.size()) / 1e6, records,
                seconds.size());
    std::printf("  %.1f ms, %.2f million records/s, %.1f MB/s\n", s * 1e3, records / s / 1e6,
                double(bytes.size()) / s / 1e6);
}

double timeLoads(int loads)
{
    std::vector<double> perLoad;
    for (int run = 0; run < 5; ++run) {
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < loads; ++i) {
            std::map<QString, std::unique_ptr<CaptionList>> arrays;
            ChannelCatalogue catalogue([&](const QString &name) {
                auto &array = arrays[name];
                array = std::make_unique<CaptionList>(u"标题"_s);
                return array.get();
            });
            catalogue.load();
        }
        perLoad.push_back(double(timer.nsecsElapsed()) / 1e3 / loads);
    }
    return median(perLoad);
}

void benchLoad()
{
    int entries = 0;
    for (const GroupDefinition &group : GroupTable::groups()) {
        writeFile(u"empty/"_s + group.listFile, {});
        QByteArray bytes;
        for (int i = 0; i < group.capacity; ++i) {
            bytes += record(i);
        }
        entries += group.capacity;
        writeFile(u"full/"_s + group.listFile, bytes);
    }
    const int loads = 200;
    QDir::setCurrent(u"empty"_s);
    const double empty = timeLoads(loads);
    QDir::setCurrent(u"../full"_s);
    const double full = timeLoads(loads);
    QDir::setCurrent(u".."_s);
    std::printf("catalogue load into in-memory menus (median of 5 x %d loads):\n", loads);
    std::printf("  seventeen empty files: %.1f us per load\n", empty);
    std::printf("  filled to capacity, %d entries: %.1f us per load (%.2f us per entry more)\n", entries, full,
                (full - empty) / entries);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    if (!dir.isValid() || !QDir::setCurrent(dir.path())) {
        std::fprintf(stderr, "no temporary folder\n");
        return 1;
    }
    benchReader();
    benchLoad();
    return 0;
}
