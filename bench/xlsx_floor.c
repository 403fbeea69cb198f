/* The floor of the workbook export: the least a program does to write the same cells
 * as VeloSQL's workbook from the same query, with libxlsxwriter alone. It reads the
 * rows with SQLite's C API and writes each cell as the workbook export types it, by
 * the column's declared type: integers and reals as numbers, MONEY as a number in a
 * currency format, DATE as a date, BLOB by its size, texts as strings; a bold, frozen
 * header row with the autofilter, in constant-memory mode.
 *
 *   xlsx_floor DATABASE OUTPUT [SQL]
 */
#include <sqlite3.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <xlsxwriter.h>

enum kind { TEXT, NUMBER, AMOUNT, DATE, SIZE };

static enum kind kind_of(const char *declared)
{
    if (!declared)
        return TEXT;
    if (strstr(declared, "INT") || strstr(declared, "REAL"))
        return NUMBER;
    if (strstr(declared, "MONEY"))
        return AMOUNT;
    if (strstr(declared, "DATE"))
        return DATE;
    if (strstr(declared, "BLOB"))
        return SIZE;
    return TEXT;
}

int main(int argc, char **argv)
{
    if (argc < 3) {
        fprintf(stderr, "usage: xlsx_floor DATABASE OUTPUT [SQL]\n");
        return 2;
    }
    const char *sql = argc > 3 ? argv[3] : "SELECT * FROM Patients";
    sqlite3 *db;
    sqlite3_stmt *statement;
    if (sqlite3_open_v2(argv[1], &db, SQLITE_OPEN_READONLY, NULL) != SQLITE_OK
        || sqlite3_prepare_v2(db, sql, -1, &statement, NULL) != SQLITE_OK) {
        fprintf(stderr, "%s\n", sqlite3_errmsg(db));
        return 1;
    }
    lxw_workbook_options options = { .constant_memory = LXW_TRUE };
    lxw_workbook *book = workbook_new_opt(argv[2], &options);
    lxw_worksheet *sheet = workbook_add_worksheet(book, "Résultat");
    lxw_format *bold = workbook_add_format(book);
    format_set_bold(bold);
    lxw_format *amount = workbook_add_format(book);
    format_set_num_format(amount, "#,##0.00 \"€\"");
    lxw_format *date = workbook_add_format(book);
    format_set_num_format(date, "yyyy-mm-dd");

    const int columns = sqlite3_column_count(statement);
    enum kind kinds[64];
    for (int c = 0; c < columns && c < 64; ++c) {
        kinds[c] = kind_of(sqlite3_column_decltype(statement, c));
        worksheet_set_column(sheet, c, c, 14, NULL);
    }
    for (int c = 0; c < columns; ++c)
        worksheet_write_string(sheet, 0, c, sqlite3_column_name(statement, c), bold);
    worksheet_freeze_panes(sheet, 1, 0);
    worksheet_autofilter(sheet, 0, 0, 1048575, columns - 1);

    lxw_row_t row = 0;
    while (sqlite3_step(statement) == SQLITE_ROW) {
        ++row;
        for (int c = 0; c < columns; ++c) {
            if (sqlite3_column_type(statement, c) == SQLITE_NULL)
                continue;
            switch (kinds[c]) {
            case NUMBER:
                worksheet_write_number(sheet, row, c, sqlite3_column_double(statement, c), NULL);
                break;
            case AMOUNT:
                worksheet_write_number(sheet, row, c, sqlite3_column_double(statement, c), amount);
                break;
            case DATE: {
                lxw_datetime when = { 0 };
                sscanf((const char *)sqlite3_column_text(statement, c), "%d-%d-%d", &when.year, &when.month,
                    &when.day);
                worksheet_write_datetime(sheet, row, c, &when, date);
                break;
            }
            case SIZE:
                worksheet_write_number(sheet, row, c, sqlite3_column_bytes(statement, c), NULL);
                break;
            case TEXT:
                worksheet_write_string(sheet, row, c, (const char *)sqlite3_column_text(statement, c), NULL);
                break;
            }
        }
    }
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return workbook_close(book) == LXW_NO_ERROR ? 0 : 1;
}
