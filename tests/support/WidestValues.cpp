#include "WidestValues.h"

#include <QStringList>
#include <QTest>

void addWidestValueRows()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("setup");
    // Two-digit days of every month (month names differ in width), times either side
    // of noon, an amount in the millions with cents, both truth values.
    QStringList dates;
    QStringList dateTimes;
    for (int month = 1; month <= 12; ++month) {
        const QString day = QStringLiteral("1932-%1-28").arg(month, 2, 10, QLatin1Char('0'));
        dates << QStringLiteral("('%1')").arg(day);
        for (const char* time : { "00:00:00", "12:34:56", "23:59:59" })
            dateTimes << QStringLiteral("('%1 %2')").arg(day, QLatin1String(time));
    }
    const QList<std::pair<const char*, QString>> types {
        { "DATE", dates.join(u',') },
        { "TIME", QStringLiteral("('00:00:00'), ('09:09:09'), ('12:34:56'), ('23:59:59')") },
        { "DATETIME", dateTimes.join(u',') },
        { "BOOLEAN", QStringLiteral("(1), (0)") },
        { "MONEY", QStringLiteral("(-9999999.99), (1234567.89), (0.5)") },
    };
    for (const char* locale : { "C", "fr_FR", "de_DE", "en_US" })
        for (const auto& [type, values] : types)
            QTest::addRow("%s, %s", locale, type)
                << QString::fromLatin1(locale)
                << QStringLiteral("CREATE TABLE t (v %1, n INTEGER); INSERT INTO t (v) VALUES %2")
                       .arg(QLatin1String(type), values);
}

DefaultLocale::DefaultLocale(const QString& locale)
{
    QLocale::setDefault(QLocale(locale));
}

DefaultLocale::~DefaultLocale()
{
    QLocale::setDefault(QLocale(QLocale::French, QLocale::France));
}
