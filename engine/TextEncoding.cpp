#include "engine/TextEncoding.h"

#include "engine/ResultStore.h"
#include "platform/Exceptions.h"
#include "platform/Utf8.h"
#include "platform/Windows1252.h"

#include <QStringList>

namespace
{

QString refusedMessage(char32_t codePoint, const QByteArray& encoding)
{
    const QString character = QString::fromUcs4(&codePoint, 1);
    return QStringLiteral("Le caractère « %1 » (U+%2) ne peut pas être écrit dans cette base de données, "
                          "dont le texte est en %3.")
        .arg(character, QStringLiteral("%1").arg(uint(codePoint), 4, 16, QLatin1Char('0')).toUpper(),
            QString::fromLatin1(encoding));
}

} // namespace

TextEncoding TextEncoding::named(const QString& value)
{
    const QString v = value.trimmed().toUpper();
    if (v.isEmpty() || v == QLatin1String("UTF8") || v == QLatin1String("UTF-8"))
        return TextEncoding(Form::Utf8);
    if (v == QLatin1String("WIN1252") || v == QLatin1String("WINDOWS-1252") || v == QLatin1String("CP1252"))
        return TextEncoding(Form::Windows1252);
    if (v == QLatin1String("LATIN1") || v == QLatin1String("ISO-8859-1") || v == QLatin1String("ISO88591"))
        return TextEncoding(Form::Latin1);
    throw EDatabaseError(QStringLiteral("Encodage inconnu dans l'alias : encoding=%1 (valeurs possibles : UTF8, "
                                        "WIN1252, LATIN1)")
                             .arg(value));
}

QByteArray TextEncoding::serverName() const
{
    switch (m_form) {
    case Form::Windows1252:
        return "WIN1252";
    case Form::Latin1:
        return "LATIN1";
    case Form::Utf8:
        break;
    }
    return "UTF8";
}

QString TextEncoding::decode(QByteArrayView stored) const
{
    switch (m_form) {
    case Form::Windows1252:
        return Windows1252::decode(stored);
    case Form::Latin1:
        return QString::fromLatin1(stored);
    case Form::Utf8:
        break;
    }
    return Utf8::decode(stored);
}

QByteArray TextEncoding::toUtf8(QByteArrayView stored) const
{
    if (isUtf8())
        return stored.toByteArray();
    return decode(stored).toUtf8();
}

QByteArray TextEncoding::fromUtf8(QByteArrayView utf8) const
{
    if (isUtf8())
        return utf8.toByteArray();
    QByteArray out;
    out.reserve(utf8.size());
    for (qsizetype i = 0; i < utf8.size();) {
        const auto lead = uchar(utf8[i]);
        const char32_t c = lead < 0x80 ? char32_t(utf8[i++]) : Utf8::decodeNonAscii(utf8.data(), utf8.size(), i);
        const int byte = m_form == Form::Latin1 ? (c <= 0xFF ? int(c) : -1) : Windows1252::byteFor(c);
        if (byte < 0)
            throw EDatabaseError(refusedMessage(c, serverName()));
        out.append(char(byte));
    }
    return out;
}

std::unique_ptr<ResultStore> TextEncoding::decodeText(const ResultStore& stored) const
{
    auto out = std::make_unique<ResultStore>(stored.columnCount());
    for (qsizetype r = 0; r < stored.rowCount(); ++r) {
        out->beginRow();
        for (int c = 0; c < stored.columnCount(); ++c) {
            const CellRef cell = stored.cell(r, c);
            if (cell.cls == CellClass::Text) {
                const QByteArray text = toUtf8(QByteArrayView(cell.data, cell.size));
                out->appendText(text.constData(), text.size());
            } else {
                out->appendCell(cell);
            }
        }
        out->endRow();
    }
    return out;
}
