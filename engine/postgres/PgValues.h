#pragma once

#include "engine/Connection.h"

#include <QByteArray>
#include <vector>

// PostgreSQL's values as the engine keeps them. A column's field type comes from its
// server type; a value is read from the server's binary form where the engine knows
// it, from its text form otherwise, and both give the same cell: numbers as numbers
// (money as a float of its amount), truth values as 0 or 1, bytea as a blob, and
// numeric, date and time values as the text the server writes for them (ISO dates,
// "infinity", "4713-01-01 BC", every digit of a numeric: see PgBinaryForms).
namespace PgValues
{

using Oid = unsigned int;

// The field type, size and precision of a column of server type `type` with type
// modifier `modifier` (-1 when none).
ColumnInfo column(const QString& name, Oid type, int modifier);

// True when values of the type can be read in the server's binary form.
bool readsBinary(Oid type);

// Appends one value given in the binary form (readsBinary(type) must be true) or in
// the text form. A value that the binary form cannot hold (a truncated one) throws
// EDatabaseError.
void appendBinary(ResultStore& rows, Oid type, const char* data, int size);
void appendText(ResultStore& rows, Oid type, const char* data, int size);

// Reads the messages of a COPY ... TO STDOUT (FORMAT binary) into a store: the
// stream's header before the first row, then one row per message, then the trailer.
class BinaryCopy
{
public:
    // Every type of `types` must be one that readsBinary() takes.
    BinaryCopy(ResultStore& rows, const std::vector<Oid>& types);
    // Reads one message; true when it held a row. A message that is not well formed
    // throws EDatabaseError.
    bool read(const char* data, int size);

private:
    ResultStore& m_rows;
    const std::vector<Oid>& m_types;
    bool m_headerRead = false;
};

// Values written back to the server: the text form of a number or text, or the raw
// bytes of a blob (sent in the binary form).
struct Parameter {
    QByteArray bytes;
    bool null = false;
    bool binary = false;
};
Parameter parameter(const CellRef& cell);

} // namespace PgValues
