#pragma once

#include <QByteArray>
#include <QString>
#include <memory>

class ResultStore;

// How a database stores its text, as the alias's key "encoding" names it: UTF-8 (the
// default), or one of the code pages of the legacy programs that wrote many practices'
// databases, WIN1252 (Windows-1252) and LATIN1 (ISO 8859-1). The engine keeps text as
// UTF-8; a driver that reads a database's bytes as they are stored decodes them here,
// and writes text back in the database's encoding.
class TextEncoding
{
public:
    enum class Form { Utf8, Windows1252, Latin1 };

    TextEncoding() = default;
    // The encoding that value (aliases.ini's key, letter case aside) names: empty or
    // UTF8, WIN1252 (also WINDOWS-1252, CP1252), LATIN1 (also ISO-8859-1); throws
    // EDatabaseError naming the values taken for any other.
    [[nodiscard]] static TextEncoding named(const QString& value);

    [[nodiscard]] bool isUtf8() const { return m_form == Form::Utf8; }
    // The name a PostgreSQL server gives the encoding: "UTF8", "WIN1252", "LATIN1".
    [[nodiscard]] QByteArray serverName() const;

    // Stored bytes as text.
    [[nodiscard]] QString decode(QByteArrayView stored) const;
    // Stored bytes as the UTF-8 bytes the engine keeps.
    [[nodiscard]] QByteArray toUtf8(QByteArrayView stored) const;
    // UTF-8 text as the bytes stored. A character the encoding cannot hold is refused:
    // EDatabaseError naming it, nothing is written in its place.
    [[nodiscard]] QByteArray fromUtf8(QByteArrayView utf8) const;
    // The same store with every text cell decoded to UTF-8; other cells as they are.
    [[nodiscard]] std::unique_ptr<ResultStore> decodeText(const ResultStore& stored) const;

private:
    explicit TextEncoding(Form form)
        : m_form(form)
    {
    }
    Form m_form = Form::Utf8;
};
