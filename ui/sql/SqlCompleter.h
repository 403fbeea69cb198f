#pragma once

#include "engine/Connection.h"

#include <QObject>
#include <QStringList>
#include <functional>

class QCompleter;
class QLineEdit;
class QPlainTextEdit;
class QWidget;

// The tables and columns that completion offers, and how the engine reads a name
// written without quotes.
struct SqlNames {
    std::vector<CatalogueTable> tables;
    bool foldsToLower = false; // PostgreSQL: an unquoted name means its small letters
};

// Ctrl+Space completion of the word before the cursor, in the statement box or the
// query editor: the names that names() gives (the tables and columns of the
// database, asked at each completion) and the SQL keywords, letter case aside. After
// FROM, JOIN, INTO and UPDATE the tables come first; after "table." only that table's
// columns. A name is put in as the engine must read it (sqlName: quoted when it is
// not a plain word), so that it runs as it reads. The choice replaces the word; one
// candidate alone is put in at once.
class SqlCompleter : public QObject
{
    Q_OBJECT
public:
    using Names = std::function<SqlNames()>;

    // Ctrl+Space is taken where keys has the focus (the combo box of a line edit).
    SqlCompleter(QLineEdit* edit, QWidget* keys, Names names);
    SqlCompleter(QPlainTextEdit* edit, Names names);

    // Offers the completions of the word before the cursor.
    void complete();
    QCompleter* completer() const { return m_completer; }

    // The candidates for the word that ends at `cursor` of text, as they are written
    // in, in the order offered.
    static QStringList candidates(const SqlNames& names, const QString& text, int cursor);

private:
    SqlCompleter(QWidget* owner, QWidget* keys, Names names);
    QString text() const;
    int cursor() const;
    void replaceWord(const QString& word);

    QLineEdit* m_line = nullptr;
    QPlainTextEdit* m_plain = nullptr;
    Names m_names;
    QCompleter* m_completer;
    int m_wordStart = 0;
};
