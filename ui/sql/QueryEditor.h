#pragma once

#include "ui/sql/SqlCompleter.h"

#include <QDialog>
#include <QPlainTextEdit>

class QDialogButtonBox;
class SqlCompleter;

// A statement's text that stays one line: the lines wrap on screen, but no key and no
// paste puts a line break into it (a pasted one becomes a blank). Enter confirms.
class StatementTextEdit : public QPlainTextEdit
{
    Q_OBJECT
public:
    explicit StatementTextEdit(QWidget* parent = nullptr);

    // The statement, on one line.
    QString statement() const;

signals:
    void enterPressed();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void insertFromMimeData(const QMimeData* source) override;
};

// "Éditeur de requête": the statement box's text in a larger editor, wrapped over as
// many lines as it needs, in the box's colours, with the box's completion. OK (or
// Enter) confirms; the window then writes statement() back to the box.
class QueryEditor : public QDialog
{
    Q_OBJECT
public:
    // names gives the tables and columns that completion offers.
    QueryEditor(const QString& statement, std::function<SqlNames()> names, QWidget* parent = nullptr);

    QString statement() const { return m_edit->statement(); }
    StatementTextEdit* editor() const { return m_edit; }

private:
    StatementTextEdit* m_edit;
    QDialogButtonBox* m_buttons;
};

// A line break of any kind becomes a blank: a statement is one line.
QString oneLine(QString text);
