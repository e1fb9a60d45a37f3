#include "GbkText.h"

#include <memory>

#include <QList>
#include <QStringDecoder>
#include <QStringEncoder>

#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/translit.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

namespace GbkText {

namespace {

icu::UnicodeString toIcu(QStringView text)
{
    return icu::UnicodeString(reinterpret_cast<const UChar *>(text.utf16()), int32_t(text.size()));
}

QString fromIcu(const icu::UnicodeString &text)
{
    return QString(reinterpret_cast<const QChar *>(text.getBuffer()), text.length());
}

// Compatibility forms first (mathematical bold letters, ligatures), then any
// script in Latin letters, then those letters without their accents.
QString latin(const QString &text)
{
    static const std::unique_ptr<icu::Transliterator> transliterator = [] {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::Transliterator> t(icu::Transliterator::createInstance(
            icu::UnicodeString::fromUTF8("NFKC; Any-Latin; Latin-ASCII"), UTRANS_FORWARD, status));
        return U_SUCCESS(status) ? std::move(t) : nullptr;
    }();
    if (!transliterator) {
        return text;
    }
    icu::UnicodeString spelled = toIcu(text);
    transliterator->transliterate(spelled);
    return fromIcu(spelled);
}

bool isInvisible(char32_t c)
{
    return u_hasBinaryProperty(UChar32(c), UCHAR_DEFAULT_IGNORABLE_CODE_POINT);
}

// Marks that only dress a letter: accents, and the half rings and primes
// that Latin spellings of Arabic or Hebrew put beside letters.
bool isDressing(char32_t c)
{
    const int8_t type = u_charType(UChar32(c));
    return type == U_NON_SPACING_MARK || type == U_ENCLOSING_MARK || type == U_MODIFIER_LETTER
           || type == U_MODIFIER_SYMBOL;
}

QString without(QStringView text, bool (*drop)(char32_t))
{
    QString out;
    for (const char32_t c : text.toString().toUcs4()) {
        if (!drop(c)) {
            out += QString::fromUcs4(&c, 1);
        }
    }
    return out;
}

// Calls f with every grapheme (what shows as one character, a flag or an
// emoji sequence included) of text.
template<typename F>
void forEachGrapheme(const QString &text, F &&f)
{
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> graphemes(
        icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    if (U_FAILURE(status)) {
        for (const char32_t c : text.toUcs4()) {
            f(QStringView(QString::fromUcs4(&c, 1)));
        }
        return;
    }
    const icu::UnicodeString icuText = toIcu(text);
    graphemes->setText(icuText);
    int32_t start = graphemes->first();
    for (int32_t end = graphemes->next(); end != icu::BreakIterator::DONE; start = end, end = graphemes->next()) {
        f(QStringView(text).mid(start, end - start));
    }
}

} // namespace

bool holds(QStringView text)
{
    QStringEncoder encoder("GBK", QStringConverter::Flag::Stateless);
    const QByteArray bytes = encoder.encode(text);
    if (encoder.hasError()) {
        return false;
    }
    QStringDecoder decoder("GBK", QStringConverter::Flag::Stateless);
    const QString back = decoder.decode(bytes);
    return !decoder.hasError() && back == text;
}

Name name(const QString &raw, const QString &replacement)
{
    Name result;
    QString text;
    for (const QChar c : raw) {
        if (c == u'|') {
            text += QChar(kBarStandIn);
            result.bar = true;
        } else if (c == u'"') {
            text += QChar(kQuoteStandIn);
            result.quote = true;
        } else {
            text += c.category() == QChar::Other_Control ? QChar(u' ') : c;
        }
    }
    text = text.trimmed();

    // Runs of graphemes that GBK cannot hold are spelled together, so that a
    // script that joins its letters is spelled as a word.
    QString out;
    QString run;
    auto spell = [&] {
        if (run.isEmpty()) {
            return;
        }
        forEachGrapheme(latin(run), [&](QStringView grapheme) {
            const QString bare = without(without(grapheme, isInvisible), isDressing);
            if (holds(grapheme)) {
                out += grapheme;
                result.transliterated = true;
            } else if (bare.isEmpty() || holds(bare)) {
                out += bare;
                result.transliterated = result.transliterated || !bare.isEmpty();
            } else {
                out += replacement;
                result.replaced = true;
            }
        });
        run.clear();
    };
    forEachGrapheme(text, [&](QStringView grapheme) {
        const QString visible = without(grapheme, isInvisible);
        // An accent GBK lacks on a letter it has ("ά", "ệ"): the letter alone.
        const QString bare = without(visible.normalized(QString::NormalizationForm_D), isDressing);
        if (holds(grapheme)) {
            spell();
            out += grapheme;
        } else if (visible.isEmpty() || holds(visible)) {
            spell();
            out += visible;
        } else if (!bare.isEmpty() && holds(bare)) {
            spell();
            out += bare;
            result.transliterated = true;
        } else {
            run += grapheme;
        }
    });
    spell();
    result.text = out.trimmed();
    return result;
}

} // namespace GbkText
