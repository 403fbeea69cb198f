// The ISO date and time reader (IsoDateTime) and the text of date, time and logical
// fields.
//
// Input: a mode byte, a locale byte, then what the mode reads:
//  0  a stored text: what the reader takes is exactly what it reads (a date is
//     written back as the same ten bytes, a time reads again from its canonical
//     form), and the exports' direct text of the text in a date, time, date-time or
//     logical field is the field's text;
//  1  a date and a time of day in range, written with a separator, a fraction of
//     1 to 9 digits and maybe a zone: it reads back as that moment, and a date
//     field shows it as the locale's short date.

#include "FuzzSupport.h"
#include "data/IsoDateTime.h"
#include "data/TextForms.h"
#include "platform/Windows1252.h"

#include <QLocale>
#include <string_view>

namespace
{

const QLocale::Language kLanguages[]
    = { QLocale::French, QLocale::English, QLocale::German, QLocale::Arabic, QLocale::Hindi, QLocale::Japanese };

std::string_view viewOf(const QByteArray& bytes)
{
    return { bytes.constData(), size_t(bytes.size()) };
}

QByteArray isoDate(const IsoDateTime::Day& day)
{
    return QByteArray::number(day.year).rightJustified(4, '0') + '-'
        + QByteArray::number(day.month).rightJustified(2, '0') + '-'
        + QByteArray::number(day.day).rightJustified(2, '0');
}

QByteArray isoTime(const QTime& time)
{
    return time.toString(QStringLiteral("HH:mm:ss.zzz")).toLatin1();
}

void checkReader(const QByteArray& bytes)
{
    const std::string_view text = viewOf(bytes);
    if (const auto day = IsoDateTime::date(text)) {
        FUZZ_CHECK(day->toDate().isValid() && isoDate(*day) == bytes,
            QStringLiteral("%1 read as %2").arg(shownBytes(bytes), QString::fromLatin1(isoDate(*day))));
    }
    if (const auto time = IsoDateTime::time(text)) {
        const QByteArray canonical = isoTime(*time);
        const auto again = IsoDateTime::time(viewOf(canonical));
        FUZZ_CHECK(time->isValid() && bytes.startsWith(canonical.left(5)) && again == time,
            QStringLiteral("%1 read as %2").arg(shownBytes(bytes), QString::fromLatin1(canonical)));
    }
    if (const auto stamp = IsoDateTime::stamp(text)) {
        const auto day = IsoDateTime::date(text.substr(0, 10));
        FUZZ_CHECK(day && isoDate(*day) == isoDate(stamp->date), shownBytes(bytes));
        FUZZ_CHECK(stamp->time.has_value() == (bytes.size() > 10) && (!stamp->time || stamp->time->isValid()),
            shownBytes(bytes));
        if (stamp->time)
            FUZZ_CHECK(IsoDateTime::time(text.substr(11)) == stamp->time, shownBytes(bytes));
    }
}

// The exports' direct text of a stored text, against the field's text.
void checkFieldText(const QByteArray& bytes)
{
    for (const TFieldType type : { ftDate, ftTime, ftDateTime, ftBoolean }) {
        ColumnInfo column;
        column.type = type;
        FuzzCell cell;
        cell.cls = CellClass::Text;
        cell.bytes = bytes;
        MemoryDataSet dataSet({ column }, { { cell } });
        const TField& field = *dataSet.field(0);
        for (const auto policy : { Windows1252::Unmappable::QuotedText, Windows1252::Unmappable::HtmlText }) {
            QByteArray direct;
            field.appendText1252(direct, policy);
            const QByteArray expected = Windows1252::encode(field.asString(), policy);
            FUZZ_CHECK(direct == expected,
                QStringLiteral("%1, type %2, stored %3: direct %4, text %5")
                    .arg(QLocale().name())
                    .arg(int(type))
                    .arg(shownBytes(bytes), shownBytes(direct), shownBytes(expected)));
        }
    }
}

void checkMoment(FuzzInput& input)
{
    const QDate date(1 + input.number<quint16>() % 9999, 1 + input.pick(12), 1);
    const QDate day = date.addDays(input.pick(date.daysInMonth()));
    const int hour = input.pick(24);
    const int minute = input.pick(60);
    const int second = input.pick(60);
    const int digits = 1 + input.pick(9);
    const QByteArray fraction
        = QByteArray::number(input.number<quint32>() % 1000000000).rightJustified(9, '0').left(digits);
    const int millisecond = fraction.leftJustified(3, '0').left(3).toInt();
    static const char* const zones[] = { "", "Z", "+01:00", "-0530", "+14:00", "-12:00" };
    const char* zone = zones[input.pick(std::size(zones))];
    const QTime time(hour, minute, second, millisecond);
    const IsoDateTime::Day written { day.year(), day.month(), day.day() };

    QByteArray text
        = isoDate(written) + ((input.byte() & 1) ? 'T' : ' ') + time.toString(QStringLiteral("HH:mm:ss")).toLatin1();
    if (input.byte() & 1)
        text += ((input.byte() & 1) ? ',' : '.') + fraction;
    else
        text += '.' + fraction;
    text += zone;
    const auto stamp = IsoDateTime::stamp(viewOf(text));
    FUZZ_CHECK(stamp && stamp->date.toDate() == day && stamp->time == time,
        QStringLiteral("%1 read as %2 %3")
            .arg(QString::fromLatin1(text))
            .arg(stamp ? QString::fromLatin1(isoDate(stamp->date)) : QStringLiteral("nothing"))
            .arg(stamp && stamp->time ? stamp->time->toString(Qt::ISODateWithMs) : QString()));

    ColumnInfo column;
    column.type = ftDate;
    FuzzCell cell;
    cell.cls = CellClass::Text;
    cell.bytes = text;
    MemoryDataSet dataSet({ column }, { { cell } });
    const QString shownDate = QLocale().toString(day, TextForms::current().dateFormat);
    FUZZ_CHECK(dataSet.field(0)->asString() == shownDate,
        QStringLiteral("%1, %2 shown as %3, expected %4")
            .arg(QLocale().name(), QString::fromLatin1(text), dataSet.field(0)->asString(), shownDate));
    checkFieldText(text);
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
    const int mode = input.pick(2);
    QLocale::setDefault(QLocale(kLanguages[input.pick(std::size(kLanguages))]));
    if (mode == 0) {
        const QByteArray bytes = input.rest();
        checkReader(bytes);
        checkFieldText(bytes);
    } else {
        checkMoment(input);
    }
    return 0;
}
