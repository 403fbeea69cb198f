#include "data/IsoDateTime.h"

namespace
{

// Reads `count` digits at text[at]; -1 when one of them is no digit or text is short.
int digits(std::string_view text, size_t at, size_t count)
{
    if (text.size() < at + count)
        return -1;
    int value = 0;
    for (size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return -1;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

bool isHourMinute(int hour, int minute)
{
    return hour >= 0 && hour <= 23 && minute >= 0 && minute <= 59;
}

// A zone after a time: "Z", or a sign and "HH:MM", "HHMM" or "HH".
bool isZone(std::string_view zone)
{
    if (zone == "Z")
        return true;
    if (zone.empty() || (zone[0] != '+' && zone[0] != '-'))
        return false;
    zone.remove_prefix(1);
    if (zone.size() == 2)
        return isHourMinute(digits(zone, 0, 2), 0);
    if (zone.size() == 5 && zone[2] == ':')
        return isHourMinute(digits(zone, 0, 2), digits(zone, 3, 2));
    return zone.size() == 4 && isHourMinute(digits(zone, 0, 2), digits(zone, 2, 2));
}

} // namespace

namespace IsoDateTime
{

std::optional<Day> date(std::string_view text)
{
    if (text.size() != 10 || text[4] != '-' || text[7] != '-')
        return std::nullopt;
    const int year = digits(text, 0, 4);
    const int month = digits(text, 5, 2);
    const int day = digits(text, 8, 2);
    if (year < 0 || month < 0 || day < 0 || !QDate::isValid(year, month, day))
        return std::nullopt;
    return Day { year, month, day };
}

std::optional<QTime> time(std::string_view text)
{
    if (text.size() < 5 || text[2] != ':')
        return std::nullopt;
    const int hour = digits(text, 0, 2);
    const int minute = digits(text, 3, 2);
    int second = 0;
    int millisecond = 0;
    size_t at = 5;
    if (text.size() > at && text[at] == ':') {
        second = digits(text, at + 1, 2);
        at += 3;
        if (text.size() > at && (text[at] == '.' || text[at] == ',')) {
            size_t end = ++at;
            while (end < text.size() && text[end] >= '0' && text[end] <= '9')
                ++end;
            if (end == at)
                return std::nullopt;
            for (size_t i = at; i < at + 3; ++i)
                millisecond = millisecond * 10 + (i < end ? text[i] - '0' : 0);
            at = end;
        }
    }
    if (!isHourMinute(hour, minute) || second < 0 || second > 59)
        return std::nullopt;
    if (at < text.size() && !isZone(text.substr(at)))
        return std::nullopt;
    return QTime(hour, minute, second, millisecond);
}

std::optional<Stamp> stamp(std::string_view text)
{
    const std::optional<Day> day = date(text.substr(0, 10));
    if (!day || text.size() == 10)
        return day ? std::optional<Stamp>(Stamp { *day, std::nullopt }) : std::nullopt;
    if (text[10] != ' ' && text[10] != 'T')
        return std::nullopt;
    const std::optional<QTime> clock = time(text.substr(11));
    if (!clock)
        return std::nullopt;
    return Stamp { *day, clock };
}

std::optional<double> moment(std::string_view text, bool timeOfDay)
{
    if (timeOfDay) {
        const auto t = time(text);
        return t ? std::optional<double>(t->msecsSinceStartOfDay()) : std::nullopt;
    }
    const auto s = stamp(text);
    if (!s)
        return std::nullopt;
    return double(s->date.toDate().toJulianDay()) * 86400000.0 + (s->time ? s->time->msecsSinceStartOfDay() : 0);
}

} // namespace IsoDateTime
