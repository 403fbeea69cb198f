#pragma once

#include "data/IsoDateTime.h"
#include "data/TextForms.h"
#include "engine/FieldType.h"
#include "engine/ResultStore.h"

#include <QByteArray>
#include <QTime>
#include <optional>

// A cell as a spreadsheet holds it, for the files made to be opened in one (the
// workbook, the CSV file): what kind of value it is by its column's type and by what
// it holds, and its number. A cell that its column's type cannot read (a text in a
// number column, an amount that is no amount) is a text, so that no value is lost.
struct SheetValue {
    enum Kind {
        Blank, // a null
        Number, // integers and decimals
        Amount, // a currency column's value (number: the amount itself)
        Date,
        Time,
        DateTime,
        Truth, // number: 1 or 0
        Text, // the cell's text form
        ByteCount, // a binary value, by its size in bytes (number)
    };
    Kind kind = Blank;
    double number = 0;
    IsoDateTime::Day day { 0, 0, 0 };
    QTime time;

    [[nodiscard]] static SheetValue of(const CellRef& cell, TFieldType type, const TextForms& forms);

    // Date, Time and DateTime in ISO 8601: "2024-03-07", "10:30:15", "2024-03-07T10:30:15",
    // with ".250" when the time has milliseconds.
    void appendIso(QByteArray& out) const;
    // False for a date that a spreadsheet cannot count (before 1900, after 9999).
    [[nodiscard]] bool hasSerial() const;
    // Date, Time and DateTime as a spreadsheet's serial number: days since 1899-12-30,
    // with the fraction of the day (the 1900 leap day that spreadsheets count included).
    [[nodiscard]] double serial() const;

    // The largest integer that a spreadsheet's number holds exactly (2^53); beyond,
    // an integer goes as text.
    static constexpr qint64 kLargestExact = qint64(1) << 53;
};
