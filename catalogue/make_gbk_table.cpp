// Writes the GBK table of GbkTable.h as a C++ source file: what Qt's GBK
// decoder (ICU's code page 936) makes of each byte up to 0x80 and of each
// lead-trail pair. Run by the build; fails, and so fails the build, where Qt
// has no GBK decoder.

#include <cstdio>

#include <QByteArray>
#include <QSaveFile>
#include <QString>
#include <QStringDecoder>

#include "GbkTable.h"

namespace {

constexpr char16_t kReplacement = 0xFFFD;

struct Table
{
    char16_t single[GbkTable::kSingles] = {};
    char16_t pairs[GbkTable::kPairs] = {};
};

// Each byte and pair on its own: the build can afford one decoder call for
// each of them, and no unit's answer can depend on what came before it.
bool fill(Table &t)
{
    QStringDecoder gbk("GBK", QStringConverter::Flag::Stateless);
    if (!gbk.isValid())
        return false;
    auto decodeOne = [&gbk](const char *bytes, int length) {
        const QString one = gbk.decode(QByteArrayView(bytes, length));
        return one.size() == 1 ? one.front().unicode() : kReplacement;
    };
    for (int b = 0; b < GbkTable::kSingles; ++b) {
        const char byte = char(b);
        t.single[b] = decodeOne(&byte, 1);
    }
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
        for (int trail = 0x40; trail <= 0xFE; ++trail) {
            if (!GbkTable::isTrail(uchar(trail)))
                continue;
            const char pair[2] = {char(lead), char(trail)};
            t.pairs[GbkTable::index(uchar(lead), uchar(trail))] = decodeOne(pair, 2);
        }
    }
    return true;
}

QByteArray array(const char *name, const char *size, const char16_t *units, int count)
{
    QByteArray out = QByteArray("const char16_t ") + name + '[' + size + "] = {";
    for (int i = 0; i < count; ++i) {
        out += i % 12 ? " " : "\n   ";
        out += "0x" + QByteArray::number(units[i], 16).rightJustified(4, '0') + ',';
    }
    return out + "\n};\n";
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.cpp\n", argv[0]);
        return 2;
    }
    static Table table;
    if (!fill(table)) {
        std::fprintf(stderr, "make_gbk_table: this Qt has no GBK decoder (it needs ICU)\n");
        return 1;
    }
    QSaveFile out(QString::fromLocal8Bit(argv[1]));
    if (!out.open(QIODevice::WriteOnly)) {
        std::fprintf(stderr, "make_gbk_table: %s\n", qPrintable(out.errorString()));
        return 1;
    }
    out.write("// Made by make_gbk_table from Qt's GBK decoder when the program was built.\n"
              "#include \"GbkTable.h\"\n\nnamespace GbkTable {\n\n");
    out.write(array("single", "kSingles", table.single, GbkTable::kSingles));
    out.write("\n");
    out.write(array("pairs", "kPairs", table.pairs, GbkTable::kPairs));
    out.write("\n} // namespace GbkTable\n");
    if (!out.commit()) {
        std::fprintf(stderr, "make_gbk_table: %s\n", qPrintable(out.errorString()));
        return 1;
    }
    return 0;
}
