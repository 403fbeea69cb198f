#pragma once

#include <QString>
#include <QStringView>

// The text of a cell in HTML, the one rule of both HTML outputs (the HTML export in
// Windows-1252, the clipboard's table in Unicode): "&", "<", ">" and '"' are written
// as entities, and a character that HTML text may not hold is shown as U+FFFD: the
// control characters but tab, line feed and carriage return, DEL, the C1 controls
// (U+0080 to U+009F, those Windows-1252 leaves unassigned included), noncharacters
// (U+FDD0 to U+FDEF, and the last two of every plane) and lone surrogates. Every other
// character is written as it is, or as a character reference where the code page
// cannot hold it.
namespace HtmlText
{

inline constexpr char32_t kReplacement = 0xFFFD;

// True when HTML text may hold the character (a code point, or a lone surrogate).
constexpr bool holds(char32_t cp)
{
    if (cp < 0x20)
        return cp == u'\t' || cp == u'\n' || cp == u'\r';
    if (cp < 0x7F)
        return true;
    if (cp < 0xA0 || (cp >= 0xD800 && cp <= 0xDFFF) || (cp >= 0xFDD0 && cp <= 0xFDEF))
        return false;
    return (cp & 0xFFFE) != 0xFFFE && cp <= 0x10FFFF;
}

// The character shown for cp.
constexpr char32_t shown(char32_t cp)
{
    return holds(cp) ? cp : kReplacement;
}

// The entity of a character of markup; nullptr for the others.
constexpr const char* entity(char32_t c)
{
    switch (c) {
    case u'&':
        return "&amp;";
    case u'<':
        return "&lt;";
    case u'>':
        return "&gt;";
    case u'"':
        return "&quot;";
    default:
        return nullptr;
    }
}

// A cell's text as HTML text in Unicode.
[[nodiscard]] QString escaped(QStringView text);

} // namespace HtmlText
