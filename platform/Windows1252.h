#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

// Text crosses every file boundary as Windows-1252 bytes. The five bytes that the
// code page leaves unassigned (0x81, 0x8D, 0x8F, 0x90, 0x9D) decode to the control
// characters of the same code, so every byte string survives a round trip.
namespace Windows1252
{

// How a character that the code page cannot hold is written, and which ASCII
// characters the context escapes.
enum class Unmappable {
    QuestionMark, // "?" (text files)
    QuotedText, // as QuestionMark, and '"' doubled (the inside of a quoted text-file value)
    CharacterReference, // "&#8364;" style (HTML files); the characters that HTML text may not
                        // hold (HtmlText.h), control characters among them, as "&#65533;"
    HtmlText, // as CharacterReference, and "&", "<", ">", '"' as entities (HTML cell text)
};

QString decode(QByteArrayView bytes);
QByteArray encode(QStringView text, Unmappable policy = Unmappable::QuestionMark);
void appendEncoded(QByteArray& out, QStringView text, Unmappable policy = Unmappable::QuestionMark);

// Transcodes UTF-8 straight to Windows-1252, appending to out (the fast path of
// exports: no QString in between). Writes what encoding Utf8::decode(utf8) writes:
// each ill-formed byte is U+FFFD, which the code page cannot hold.
void appendFromUtf8(QByteArray& out, const char* utf8, qsizetype size, Unmappable policy = Unmappable::QuestionMark);

// Appends Windows-1252 bytes as text is written under policy: unchanged, with '"'
// doubled for QuotedText, or with "&", "<", ">", '"' as entities for HtmlText; under
// both HTML policies, the bytes of characters that HTML text may not hold as "&#65533;".
void appendBytes(QByteArray& out, QByteArrayView bytes, Unmappable policy);

// The byte for a code point, or -1 when the code page cannot hold it.
int byteFor(char32_t codePoint);

} // namespace Windows1252
