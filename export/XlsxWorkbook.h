#pragma once

#include "platform/CNumbers.h"

#include <QByteArray>
#include <QLocale>
#include <QString>
#include <vector>

struct lxw_workbook;
struct lxw_worksheet;
struct lxw_format;

// A workbook written by libxlsxwriter in constant-memory mode (rows in order, each
// sheet's rows in a temporary file of the system's temporary folder until close()).
// Every failure of the library throws EInOutError in French; a workbook destroyed
// without close() writes nothing.
class XlsxWorkbook
{
public:
    using Sheet = lxw_worksheet*;
    enum Style { Plain, Header, Currency, Date, Time, DateTime, StyleCount };

    // The file at path is written (opened anew, truncated) by close(). Amounts take
    // the currency symbol of locale, on its side.
    XlsxWorkbook(const QString& path, const QLocale& locale);
    ~XlsxWorkbook();
    XlsxWorkbook(const XlsxWorkbook&) = delete;
    XlsxWorkbook& operator=(const XlsxWorkbook&) = delete;

    // A sheet with its columns' widths, in characters.
    Sheet addSheet(const QString& name, const std::vector<double>& widths);
    // The first row stays in view and carries the filter over records rows.
    void freezeHeader(Sheet sheet, qsizetype records, int columns);

    void writeNumber(Sheet sheet, qsizetype row, int column, double value, Style style);
    void writeTruth(Sheet sheet, qsizetype row, int column, bool value);
    // UTF-8, written as a string whatever it holds ("=1+1" stays a text). A cell holds
    // 32,767 characters: a longer text is cut there. The text may be changed.
    void writeText(Sheet sheet, qsizetype row, int column, QByteArray text, Style style);

    void close();

    // The number format of amounts in the locale's currency: "#,##0.00 \"€\"".
    [[nodiscard]] static QString currencyFormat(const QLocale& locale);

private:
    // systemError: errno tells the cause (opening, closing); otherwise the library does.
    [[noreturn]] void fail(int error, bool systemError = false) const;
    void check(int error) const
    {
        if (error != 0)
            fail(error);
    }

    // The library writes numbers with printf: in the C locale from the workbook's
    // start to its end (Debian's library; the Windows build's has its own writer).
    CNumbers m_numbers;
    QString m_path;
    QByteArray m_tmpdir;
    lxw_workbook* m_book = nullptr;
    lxw_format* m_styles[StyleCount] = {};
    std::vector<Sheet> m_sheets;
};
