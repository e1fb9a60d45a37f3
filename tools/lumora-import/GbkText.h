#pragma once

#include <QString>
#include <QStringView>

// Making text fit a GBK list file (see data/README.md): what GBK can hold,
// and names that can always be written as a record.
namespace GbkText {

// The vertical bar ends a field, so a name shows it as the full-width bar.
inline constexpr char16_t kBarStandIn = u'\uFF5C';       // ｜
// A quoted record cannot hold a double quote, so a name shows it full width.
inline constexpr char16_t kQuoteStandIn = u'\uFF02';     // ＂
// What stands for a character that has no GBK form and no Latin spelling.
inline constexpr char16_t kDefaultReplacement = u'\u25A1'; // □

// Whether GBK holds the text: it encodes without loss and reads back the same.
bool holds(QStringView text);

struct Name
{
    QString text;
    bool transliterated = false; // letters spelled otherwise: an accent GBK lacks dropped, other scripts in Latin letters
    bool replaced = false;       // characters (emoji, symbols) replaced
    bool bar = false;            // "|" shown as kBarStandIn
    bool quote = false;          // '"' shown as kQuoteStandIn
};

// The name as a list file can hold it: trimmed, control characters as blanks,
// invisible format characters (variation selectors, joiners) dropped where
// GBK cannot hold them, "|" and '"' as their full-width stand-ins. A letter
// whose accent GBK lacks loses the accent ("ά" is "α"); other characters GBK
// cannot hold are spelled in Latin letters where a spelling exists (Arabic,
// Thai, Korean, mathematical letters) and replaced by replacement, one per
// visible character, where none does (emoji, flags).
Name name(const QString &raw, const QString &replacement = QString(QChar(kDefaultReplacement)));

}
