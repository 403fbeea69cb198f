#pragma once

#include "data/IsoDateTime.h"
#include "data/NumericText.h"
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

// Text forms of values under the user's regional settings, taken when a data set
// opens: decimal separator and the short date and time formats, with the year in four
// digits and the time with its seconds ("M/d/yyyy h:mm:ss AP"). Every rule that turns
// a cell into text lives here, written once for a sink (TextSinks.h) that makes of it a
// QString (the grid, the fields) or Windows-1252 bytes without one (the exports).
struct TextForms {
    QLocale locale;
    QChar decimalPoint;
    QString dateFormat;
    QString timeFormat;
    QString dateTimeFormat;
    // dateFormat as numeric parts when it has nothing else ("dd/MM/yyyy", "dd.MM.yyyy"), so
    // that dates are written without going through QLocale; empty otherwise.
    std::vector<NumericText::DatePart> numericDate;
    static TextForms current();

    // The text of a cell in a column of that type; empty for a null.
    QString textOf(const CellRef& cell, TFieldType type) const;
    // The start of textOf(): all of it, or its first `units` UTF-16 code units at least.
    // A long text or blob costs no more than a short one.
    QString textStart(const CellRef& cell, TFieldType type, qsizetype units) const;
    // Appends textOf() in Windows-1252.
    void appendText1252(QByteArray& out, CellRef cell, TFieldType type, Windows1252::Unmappable policy) const;
    // Appends textOf() in UTF-8.
    void appendTextUtf8(QByteArray& out, const CellRef& cell, TFieldType type) const;
    // Appends the contents of a cell of a binary column (the text export's side file):
    // a memo's text in Windows-1252, every other kind's raw bytes.
    void appendContents(QByteArray& out, const CellRef& cell, TFieldType type) const;

    // Texts that a column of that type shows, among which is one at least as wide as
    // any of its values in these forms, whatever the font: the grid and the listing
    // size their columns by measuring them. Empty for the types whose width comes from
    // their declared size (texts, whole and exact numbers) or knows no bound (floats).
    [[nodiscard]] QStringList widestTexts(TFieldType type) const;

    // A cell read as an amount in units of 1/10,000; nothing when it holds no amount or
    // when that product, or its opposite, does not fit a qint64.
    static std::optional<qint64> currencyUnits(const CellRef& cell);
    // currencyUnits(), or EDatabaseError naming the value when it holds no amount.
    qint64 amountOf(const CellRef& cell, TFieldType type) const;
    // The types whose stored text may be shown in another form (dates, times, truth
    // values, exact decimals).
    static bool formsStoredText(TFieldType type);

private:
    // The text of a cell, written to sink.
    template <class Sink> void write(Sink& sink, const CellRef& cell, TFieldType type) const;
    // The text of a float cell. A number in a currency column shows its amount, with up
    // to four decimals, from the fixed-point value.
    template <class Sink> void writeFloat(Sink& sink, const CellRef& cell, TFieldType type) const;
    // The text shown for a text cell that holds a date, a time, a truth value or an exact
    // decimal as its column's type reads it; false, and nothing written, when the stored
    // text is shown as it is.
    template <class Sink> bool writeFormatted(Sink& sink, const CellRef& cell, TFieldType type) const;
    template <class Sink> void writeDate(Sink& sink, const IsoDateTime::Day& date) const;
};
