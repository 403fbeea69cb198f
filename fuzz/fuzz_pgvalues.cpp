// PostgreSQL's values as a server sends them: COPY's binary stream (PgValues::BinaryCopy)
// and the text forms (PgValues::appendText).
//
// Input: a mode byte, then what the mode reads:
//  0  a column count byte and a type byte per column, a byte that says whether a
//     well-formed stream header comes first, then messages (a length byte and its
//     bytes each): every message is read or refused with the one malformed-value
//     message, and each stored value of a date, time or numeric column is written as
//     the server writes it (digits, separators, "infinity", " BC"), never garbage;
//  1  a type byte and a value in its text form: read without a fault.

#include "FuzzSupport.h"
#include "engine/postgres/PgValues.h"
#include "platform/Exceptions.h"

#include <QRegularExpression>
#include <iterator>

namespace
{

// The types that the binary form is read for, and a few read only as text.
constexpr PgValues::Oid kTypes[] = { 16, 17, 18, 19, 20, 21, 23, 25, 26, 114, 142, 700, 701, 705, 790, 1042, 1043,
    1082, 1083, 1114, 1700, 1184, 1186, 2950 };

// The shape of a stored value of a date, time or numeric column, or null.
const QRegularExpression* shapeOf(PgValues::Oid type)
{
    static const QRegularExpression date(QStringLiteral("^(-?infinity|\\d{4,}-\\d\\d-\\d\\d( BC)?)$"));
    static const QRegularExpression stamp(
        QStringLiteral("^(-?infinity|\\d{4,}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d(\\.\\d{1,6})?( BC)?)$"));
    static const QRegularExpression time(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d(\\.\\d{1,6})?$"));
    static const QRegularExpression numeric(QStringLiteral("^(NaN|-?Infinity|-?\\d+(\\.\\d+)?)$"));
    switch (type) {
    case 1082:
        return &date;
    case 1114:
        return &stamp;
    case 1083:
        return &time;
    case 1700:
        return &numeric;
    default:
        return nullptr;
    }
}

QByteArray header()
{
    return QByteArray("PGCOPY\n\377\r\n\0\0\0\0\0\0\0\0\0", 19);
}

void readStream(FuzzInput& input)
{
    const int count = 1 + input.pick(4);
    std::vector<PgValues::Oid> types;
    for (int i = 0; i < count; ++i) {
        PgValues::Oid type = kTypes[input.pick(int(std::size(kTypes)))];
        // The stream is read only when every column has a binary form.
        if (!PgValues::readsBinary(type))
            type = 25;
        types.push_back(type);
    }
    const bool withHeader = input.byte() & 1;
    ResultStore rows(count);
    PgValues::BinaryCopy stream(rows, types);
    bool first = true;
    while (!input.atEnd()) {
        QByteArray message = input.chunk();
        if (first && withHeader)
            message.prepend(header());
        first = false;
        try {
            stream.read(message.constData(), int(message.size()));
        } catch (const EDatabaseError& e) {
            FUZZ_CHECK(e.message() == QStringLiteral("Valeur tronquée reçue du serveur"), e.message());
            break;
        }
    }
    for (qsizetype r = 0; r < rows.rowCount(); ++r) {
        for (int c = 0; c < count; ++c) {
            const CellRef cell = rows.cell(r, c);
            const QRegularExpression* shape = shapeOf(types[size_t(c)]);
            if (!shape || cell.cls == CellClass::Null)
                continue;
            FUZZ_CHECK(cell.cls == CellClass::Text, QString::number(int(cell.cls)));
            const QString text = QString::fromLatin1(cell.data, cell.size);
            FUZZ_CHECK(shape->match(text).hasMatch(), shownText(text));
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzzInit();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput input(data, size);
    if (input.pick(2) == 0) {
        readStream(input);
        return 0;
    }
    const PgValues::Oid type = kTypes[input.pick(int(std::size(kTypes)))];
    const QByteArray bytes = input.rest();
    ResultStore rows(1);
    rows.beginRow();
    try {
        PgValues::appendText(rows, type, bytes.constData(), int(bytes.size()));
    } catch (const EDatabaseError&) {
    }
    return 0;
}
