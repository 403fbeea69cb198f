#pragma once

#include <QObject>
#include <QStringList>
#include <functional>

class QCompleter;
class QLineEdit;
class QPlainTextEdit;
class QWidget;

// Ctrl+Space completion of the word before the cursor, in the statement box or the
// query editor: the names that names() gives (the tables and columns of the
// database, asked at each completion) and the SQL keywords, letter case aside. The
// choice replaces the word; one candidate alone is put in at once.
class SqlCompleter : public QObject
{
    Q_OBJECT
public:
    using Names = std::function<QStringList()>;

    // Ctrl+Space is taken where keys has the focus (the combo box of a line edit).
    SqlCompleter(QLineEdit* edit, QWidget* keys, Names names);
    SqlCompleter(QPlainTextEdit* edit, Names names);

    // Offers the completions of the word before the cursor.
    void complete();
    QCompleter* completer() const { return m_completer; }

    // The candidates of prefix among names and the keywords, sorted, letter case aside.
    static QStringList candidates(const QStringList& names, const QString& prefix);

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
