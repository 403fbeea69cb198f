#pragma once

#include "data/TextForms.h"
#include "engine/FieldType.h"
#include "engine/ResultStore.h"
#include "platform/Windows1252.h"

#include <QByteArray>
#include <QString>
#include <algorithm>

class TDataSet;
struct ColumnInfo;

// A field of a data set: one column, read in the data set's current record.
class TField
{
public:
    TField(TDataSet* dataSet, int index, const ColumnInfo& column);

    TDataSet* dataSet() const { return m_dataSet; }
    int index() const { return m_index; }
    const QString& fieldName() const { return m_name; }
    TFieldType dataType() const { return m_type; }
    int size() const { return m_size; }
    int precision() const { return m_precision; }

    // The label shown for the field: its name.
    const QString& displayLabel() const { return m_name; }

    // Width in characters: the width set (1 or more); otherwise the declared size of
    // a text field, 4 for a logical field ("Vrai", "Faux"), precision + 1 for a
    // decimal field with a precision, and 10 for every other type.
    int displayWidth() const;
    void setDisplayWidth(int width) { m_displayWidth = width; }
    // Texts among which is the widest the field shows in the user's regional settings
    // (dates, times, amounts, truth values); a column at least as wide as each of them
    // and as displayWidth() cuts none of its values. Empty where displayWidth() is all.
    [[nodiscard]] QStringList widestTexts() const { return m_forms->widestTexts(m_type); }
    // The characters a column of the field takes before its widest texts: its display
    // width, and its name whole. The grid sizes its columns by it and by widestTexts(),
    // as the workbook does.
    [[nodiscard]] int columnCharacters() const { return std::max(displayWidth(), int(m_name.size())); }

    bool visible() const { return m_visible; }
    void setVisible(bool visible) { m_visible = visible; }

    // Values in the current record.
    QString asString() const; // text value; empty for a null
    QString text() const { return asString(); } // edit text
    // Fixed point: value × 10,000. Throws EDatabaseError when the value is no amount or
    // when that product, or its opposite, does not fit a qint64.
    qint64 asCurrency() const;
    QByteArray blobContents() const; // memo: its text in Windows-1252; else raw bytes
    void appendBlobContents(QByteArray& out) const; // the same, appended to out
    // Appends the text value in Windows-1252 (the exports' fast path).
    void appendText1252(QByteArray& out, Windows1252::Unmappable policy) const
    {
        m_forms->appendText1252(out, cell(), m_type, policy);
    }

    // The raw cell in the current record, and in any row (the grid reads these).
    CellRef cell() const;
    CellRef cellAt(qsizetype row) const;
    QString textOf(const CellRef& cell) const { return m_forms->textOf(cell, m_type); }
    // The start of textOf(cell): all of it, or its first `units` UTF-16 code units at
    // least. A long text or blob costs no more than a short one (what the grid shows).
    QString textStart(const CellRef& cell, qsizetype units) const;

    // Binary contents are not shown as text: the grid shows binaryText() in their
    // place (nothing for a null).
    bool showsBinary() const { return isBlobType(m_type) && !isMemoType(m_type); }
    static QString binaryText() { return QStringLiteral("(BLOB)"); }
    // The whole text that the grid shows for a cell of the field.
    QString shownText(const CellRef& cell) const
    {
        if (showsBinary())
            return cell.cls == CellClass::Null ? QString() : binaryText();
        return textOf(cell);
    }
    // Whether a text cell shows its stored text as it is (no date, time, truth value or
    // decimal read from it).
    bool showsStoredText() const { return !TextForms::formsStoredText(m_type); }

    // Editing (tables in edit or insert state only).
    void setAsString(const QString& value);

private:
    TDataSet* m_dataSet;
    const TextForms* m_forms; // the data set's, taken when it opened
    int m_index;
    QString m_name;
    TFieldType m_type;
    int m_size;
    int m_precision;
    int m_displayWidth = 0;
    bool m_visible = true;
};
