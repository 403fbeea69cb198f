#pragma once

#include "engine/FieldType.h"
#include "engine/ResultStore.h"
#include "platform/Windows1252.h"

#include <QByteArray>
#include <QChar>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

// One field of a short date format made of numbers only: 'd', 'M' or 'y' with its
// width in letters ("dd" is 2), or a literal byte when field is 0.
struct NumericDatePart {
    char field;
    int width;
    char literal;
};

// Text forms of values under the user's regional settings, taken when a data set
// opens: decimal separator and the short date and time formats. Every rule that turns
// a cell into text lives here, by two routes that give the same text: a QString (the
// grid, the fields) and Windows-1252 bytes written without one (the exports).
struct TextForms {
    QLocale locale;
    QChar decimalPoint;
    QString dateFormat;
    QString timeFormat;
    QString dateTimeFormat;
    // dateFormat as numeric parts when it has nothing else ("dd/MM/yyyy", "M/d/yy"), so
    // that exports write dates without going through QLocale; empty otherwise.
    std::vector<NumericDatePart> numericDate;
    static TextForms current();

    // The text of a cell in a column of that type; empty for a null.
    QString textOf(const CellRef& cell, TFieldType type) const;
    // The start of textOf(): all of it, or its first `units` UTF-16 code units at least.
    // A long text or blob costs no more than a short one.
    QString textStart(const CellRef& cell, TFieldType type, qsizetype units) const;
    // Appends textOf() in Windows-1252.
    void appendText1252(QByteArray& out, CellRef cell, TFieldType type, Windows1252::Unmappable policy) const;

    // Texts that a column of that type shows, among which is one at least as wide as
    // any of its values in these forms, whatever the font: the grid and the listing
    // size their columns by measuring them. Empty for the types whose width comes from
    // their declared size (texts, whole and exact numbers) or knows no bound (floats).
    [[nodiscard]] QStringList widestTexts(TFieldType type) const;

    // A cell read as an amount in units of 1/10,000; nothing when it holds no amount or
    // when that product, or its opposite, does not fit a qint64.
    static std::optional<qint64> currencyUnits(const CellRef& cell);
    // The types whose stored text may be shown in another form (dates, times, truth
    // values, exact decimals).
    static bool formsStoredText(TFieldType type);

private:
    // The text of a number, a truth value or a null. A number in a currency column shows
    // its amount, with up to four decimals, from the fixed-point value.
    QString numberText(const CellRef& cell, TFieldType type) const;
    // The text shown for a text cell that holds a date, a time or a truth value as its
    // column's type reads it; nothing when the stored text is shown as it is.
    std::optional<QString> formattedText(const CellRef& cell, TFieldType type) const;
};
