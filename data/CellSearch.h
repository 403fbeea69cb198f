#pragma once

#include "data/DataSet.h"

#include <QList>
#include <QString>
#include <array>
#include <functional>
#include <optional>

// Finds the cells of a data set whose text, whole, as the grid shows it, contains a
// given text. The stored UTF-8 bytes of a text are searched as they are wherever that
// gives the same answer as searching its decoded text, which spares a conversion for
// nearly every cell.
class CellSearch
{
public:
    // A cell: a row of the data set (in the order shown) and a place in the list of
    // fields searched.
    struct Place {
        qsizetype row = -1;
        int column = -1;
        bool operator==(const Place&) const = default;
    };
    // Told of the rows looked at so far, out of how many; false stops the search.
    using Progress = std::function<bool(qsizetype done, qsizetype total)>;

    CellSearch(const QString& text, Qt::CaseSensitivity sensitivity);

    // Whether the field's text for that cell contains the text searched.
    [[nodiscard]] bool matches(const TField& field, const CellRef& cell) const;

    // The next cell that matches after from (before it, backward), going through the
    // rows and, in each row, through fields (indexes of the data set's fields) in the
    // order given; past the last cell the search goes on from the first one (and the
    // other way round), and from itself comes last. A place outside the data (-1) starts
    // from the first cell (the last one, backward). Nothing when no cell matches, when
    // the text is empty, or when progress stopped the search.
    [[nodiscard]] std::optional<Place> find(const TDataSet& dataSet, const QList<int>& fields, Place from,
        bool backward, const Progress& progress = {}) const;

private:
    // Whether the text's bytes are in haystack, bytes folded as m_fold says.
    bool inBytes(const char* haystack, qsizetype size) const;
    bool inText(const QString& text) const { return text.contains(m_text, m_sensitivity); }

    QString m_text;
    Qt::CaseSensitivity m_sensitivity;
    // The bytes searched and the fold applied to both sides (ASCII letters to lower
    // case when case is ignored); unset when bytes cannot answer for the text.
    bool m_byBytes = false;
    // A case-blind search of a text with "k" or "s" meets the Kelvin sign and the long
    // s, which fold into them: a text holding either is searched as text.
    bool m_foldsFromOutside = false;
    // Whether the text grid shows for binary contents holds the text.
    bool m_inBinaryText = false;
    QByteArray m_pattern;
    // The text of the cell in hand, written as the exports write it (kept between
    // cells, so that its memory is taken once).
    mutable QByteArray m_written;
    std::array<uchar, 256> m_fold {};
    std::array<qsizetype, 256> m_shift {};
};
