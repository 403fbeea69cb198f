#include "export/XlsxWorkbook.h"

#include "platform/Exceptions.h"

#include <QDir>
#include <QFile>
#include <cerrno>
#include <cstdio>
#include <xlsxwriter.h>

namespace
{

// Characters a cell holds.
constexpr qsizetype kCellCharacters = 32767;

// Cuts UTF-8 text after its first `characters` characters.
void cutAfter(QByteArray& text, qsizetype characters)
{
    qsizetype seen = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if ((uchar(text[i]) & 0xC0) != 0x80 && ++seen > characters) {
            text.truncate(i);
            return;
        }
    }
}

} // namespace

XlsxWorkbook::XlsxWorkbook(const QString& path, const QLocale& locale)
    : m_path(path)
    , m_tmpdir(QFile::encodeName(QDir::tempPath()))
{
    lxw_workbook_options options {};
    options.constant_memory = LXW_TRUE;
    options.tmpdir = m_tmpdir.data();
    errno = 0;
    m_book = workbook_new_opt(QFile::encodeName(path).constData(), &options);
    if (!m_book)
        fail(LXW_ERROR_CREATING_XLSX_FILE, true);
    // Plain cells take no format: the library works out a format's index at every cell.
    for (int style = Plain + 1; style < StyleCount; ++style)
        m_styles[style] = workbook_add_format(m_book);
    format_set_bold(m_styles[Header]);
    format_set_num_format(m_styles[Currency], currencyFormat(locale).toUtf8().constData());
    format_set_num_format(m_styles[Date], "yyyy-mm-dd");
    format_set_num_format(m_styles[Time], "hh:mm:ss");
    format_set_num_format(m_styles[DateTime], "yyyy-mm-dd hh:mm:ss");
}

XlsxWorkbook::~XlsxWorkbook()
{
    if (m_book)
        lxw_workbook_free(m_book);
}

XlsxWorkbook::Sheet XlsxWorkbook::addSheet(const QString& name, const std::vector<double>& widths)
{
    errno = 0;
    Sheet sheet = workbook_add_worksheet(m_book, name.toUtf8().constData());
    if (!sheet)
        fail(LXW_ERROR_CREATING_TMPFILE, true);
    m_sheets.push_back(sheet);
    for (size_t c = 0; c < widths.size(); ++c)
        check(worksheet_set_column(sheet, lxw_col_t(c), lxw_col_t(c), widths[c], nullptr));
    return sheet;
}

void XlsxWorkbook::freezeHeader(Sheet sheet, qsizetype records, int columns)
{
    worksheet_freeze_panes(sheet, 1, 0);
    if (columns > 0)
        check(worksheet_autofilter(sheet, 0, 0, lxw_row_t(records), lxw_col_t(columns - 1)));
}

void XlsxWorkbook::writeNumber(Sheet sheet, qsizetype row, int column, double value, Style style)
{
    check(worksheet_write_number(sheet, lxw_row_t(row), lxw_col_t(column), value, m_styles[style]));
}

void XlsxWorkbook::writeTruth(Sheet sheet, qsizetype row, int column, bool value)
{
    check(worksheet_write_boolean(sheet, lxw_row_t(row), lxw_col_t(column), value, nullptr));
}

void XlsxWorkbook::writeText(Sheet sheet, qsizetype row, int column, QByteArray text, Style style)
{
    // The library takes C strings: a zero character becomes U+FFFD, as no cell holds it.
    if (text.contains('\0'))
        text.replace(QByteArrayView("\0", 1), QByteArrayView("\xEF\xBF\xBD"));
    if (text.size() > kCellCharacters)
        cutAfter(text, kCellCharacters);
    check(worksheet_write_string(sheet, lxw_row_t(row), lxw_col_t(column), text.constData(), m_styles[style]));
}

void XlsxWorkbook::close()
{
    // Rows wait in each sheet's temporary file, which the library writes unchecked: a
    // full temporary folder shows here, before it would make a truncated workbook.
    for (Sheet sheet : m_sheets) {
        if (sheet->optimize_tmpfile
            && (std::fflush(sheet->optimize_tmpfile) != 0 || std::ferror(sheet->optimize_tmpfile)))
            fail(LXW_ERROR_CREATING_TMPFILE, true);
    }
    errno = 0;
    if (const lxw_error error = workbook_close(std::exchange(m_book, nullptr)))
        fail(error, true);
}

QString XlsxWorkbook::currencyFormat(const QLocale& locale)
{
    const QString symbol = QString(locale.currencySymbol()).remove(u'"');
    if (symbol.isEmpty())
        return QStringLiteral("#,##0.00");
    const QString quoted = u'"' + symbol + u'"';
    if (locale.toCurrencyString(1.0).startsWith(symbol))
        return quoted + QStringLiteral("#,##0.00");
    return QStringLiteral("#,##0.00 ") + quoted;
}

void XlsxWorkbook::fail(int error, bool system) const
{
    const int systemError = system ? errno : 0;
    const QString name = QDir::toNativeSeparators(m_path);
    if (error == LXW_ERROR_CREATING_TMPFILE || error == LXW_ERROR_READING_TMPFILE) {
        const int code = systemError ? fileErrorCode(systemError) : 5;
        throw EInOutError(QStringLiteral("Ne peut écrire de fichier temporaire dans %1 : %2")
                              .arg(QDir::toNativeSeparators(QDir::tempPath()), inOutErrorMessage(code)),
            code);
    }
    if (systemError) {
        const int code = fileErrorCode(systemError);
        throw EInOutError(
            QStringLiteral("Ne peut écrire le classeur %1 : %2").arg(name, inOutErrorMessage(code)), code);
    }
    throw EInOutError(QStringLiteral("Ne peut écrire le classeur %1 : %2")
                          .arg(name, QString::fromUtf8(lxw_strerror(lxw_error(error)))),
        29);
}
