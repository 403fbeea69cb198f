#pragma once

#include <QtEndian>
#include <QtGlobal>

class ResultStore;

// PostgreSQL's binary forms read: the big-endian numbers they are made of, and the
// date, time, timestamp and numeric values, appended as the text the server writes for
// them (ISO dates, "infinity", "4713-01-01 BC", every digit of a numeric). A value cut
// short, or not of its type's form, throws EDatabaseError.
namespace PgBinaryForms
{

[[noreturn]] void truncated();

template <typename T> T bigEndian(const char* data, int size)
{
    if (size < int(sizeof(T)))
        truncated();
    return qFromBigEndian<T>(data);
}

// days from 2000-01-01, the server's day 0.
void appendDate(ResultStore& rows, qint32 days);
// microseconds since midnight.
void appendTime(ResultStore& rows, qint64 microseconds);
// microseconds from 2000-01-01 00:00.
void appendTimestamp(ResultStore& rows, qint64 microseconds);
void appendNumeric(ResultStore& rows, const char* data, int size);

} // namespace PgBinaryForms
