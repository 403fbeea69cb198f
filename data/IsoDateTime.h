#pragma once

#include <QDate>
#include <QTime>
#include <optional>
#include <string_view>

// Dates and times stored as ISO 8601 text, as SQLite's date functions write them and
// as the Qt SQL connection stores a server's values: "2024-03-07", "10:30",
// "10:30:15.250", "2024-03-07 10:30:15" (or with 'T' between). A time may end with
// its zone ("Z", "+01:00", "+01"), which is read over: values are shown as written. A text
// is a date or a time only when it is wholly one; anything after it ("junk", a
// space, a stray byte) makes it a plain text.
namespace IsoDateTime
{

// A valid day of the calendar as written (QDate would work out its day number).
struct Day {
    int year;
    int month;
    int day;
    QDate toDate() const { return QDate(year, month, day); }
};

// A date, alone or followed by a time of day.
struct Stamp {
    Day date;
    std::optional<QTime> time;
};

// "YYYY-MM-DD", a valid day of the calendar.
std::optional<Day> date(std::string_view text);
// "HH:MM", "HH:MM:SS" or "HH:MM:SS.fraction" (a comma also separates the fraction),
// then maybe a zone; hours 00 to 23. The fraction is cut to milliseconds.
std::optional<QTime> time(std::string_view text);
// A date, or a date, ' ' or 'T', and a time.
std::optional<Stamp> stamp(std::string_view text);

// Milliseconds on one time line (whole numbers below 2^53, exact in a double): a stamp
// by its day number and its time of day; with timeOfDay, a time alone, within its day.
std::optional<double> moment(std::string_view text, bool timeOfDay);

} // namespace IsoDateTime
