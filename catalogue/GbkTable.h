#pragma once

#include <QtGlobal>

// What code page 936 (GBK) makes of each byte up to 0x80 and of each
// lead-trail pair: one UTF-16 unit each, U+FFFD where it has no character.
// The build makes the table (make_gbk_table.cpp), asking Qt's GBK decoder
// for each byte and pair, so the program reads its list files without
// opening a decoder.
namespace GbkTable {

constexpr int kSingles = 0x81;         // the bytes 0x00 to 0x80; 0x80 is the euro sign
constexpr int kPairs = 0x7F * 0x100;   // lead 0x81-0xFE by any trail byte

constexpr bool isLead(uchar b)
{
    return b >= 0x81 && b <= 0xFE;
}

constexpr bool isTrail(uchar b)
{
    return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFE);
}

constexpr int index(uchar lead, uchar trail)
{
    return (lead - 0x80) << 8 | trail;
}

extern const char16_t single[kSingles];
extern const char16_t pairs[kPairs]; // by index(); 0 where trail is no trail byte

} // namespace GbkTable
