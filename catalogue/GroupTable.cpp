#include "GroupTable.h"

using namespace Qt::StringLiterals;

namespace GroupTable {

namespace {

constexpr auto R = GroupLayout::Radio;
constexpr auto T = GroupLayout::Tv;

constexpr Table kTable = {{
    {"ah"_L1, "gb/ah.txt"_L1, u"安徽", 31, "gb"_L1, true, 0, R},
    {"gd"_L1, "gb/gd.txt"_L1, u"广东", 21, "gb"_L1, true, 1, R},
    {"gx"_L1, "gb/gx.txt"_L1, u"广西", 11, "gb"_L1, true, 2, R},
    {"hb"_L1, "gb/hb.txt"_L1, u"河北", 31, "gb"_L1, true, 3, R},
    {"hlj"_L1, "gb/hlj.txt"_L1, u"黑龙江", 11, "gb"_L1, true, 5, R},
    {"hubei"_L1, "gb/hubei.txt"_L1, u"湖北", 21, "gb"_L1, true, 6, R},
    {"hn"_L1, "gb/hn.txt"_L1, u"河南", 31, "gb"_L1, true, 4, R},
    {"jx"_L1, "gb/jx.txt"_L1, u"江西", 31, "gb"_L1, true, 8, R},
    {"js"_L1, "gb/js.txt"_L1, u"江苏", 31, "gb"_L1, true, 7, R},
    {"ln"_L1, "gb/ln.txt"_L1, u"辽宁", 21, "gb"_L1, true, 9, R},
    {"sc"_L1, "gb/sc.txt"_L1, u"四川", 41, "gb"_L1, true, 10, R},
    {"sd"_L1, "gb/sd.txt"_L1, u"山东", 41, "gb"_L1, true, 11, R},
    {"cri"_L1, "gb/cri.txt"_L1, u"中国国际广播电台", 11, "gb"_L1, true, 12, R},
    {"cnr"_L1, "gb/cnr.txt"_L1, u"中央人民广播电台", 11, "gb"_L1, true, 13, R},
    {"gblist"_L1, "gb.txt"_L1, u"广播列表", 301, "gb"_L1, false, 14, R},
    {"tvlist"_L1, "tv.txt"_L1, u"电视列表", 51, "tv"_L1, false, 15, T},
    {"xslist"_L1, "xs.txt"_L1, u"相声列表", 101, "xs"_L1, false, 16, R},
}};

}

const Table &groups()
{
    return kTable;
}

}
