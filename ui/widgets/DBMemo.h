#pragma once

#include "data/DataSet.h"
#include "data/Table.h"

#include <QPlainTextEdit>
#include <QPointer>

// The text of a plain text editor with CR LF line ends, as the program stores and
// captures it: every character as it stands, where the editor's plain text would
// give a non-breaking space as a space.
[[nodiscard]] QString textWithCrLf(const QPlainTextEdit& editor);

// A memo bound to a text field of a table's current record. Changing its text puts
// the record into edit state (insert on an empty table); Escape puts the stored
// text back; posting the record stores the memo's text in the field, its lines
// ended by CR LF. The memo is read-only while the table cannot be written.
class TDBMemo : public QPlainTextEdit
{
    Q_OBJECT
public:
    explicit TDBMemo(QWidget* parent = nullptr, const QString& name = {});

    void setDataSource(TDataSource* source);
    void setDataField(const QString& fieldName);

    // The text with CR LF line ends, as the field stores it.
    QString text() const;
    void setText(const QString& text);

signals:
    // The memo's text changed (filled from the field, typed, appended, put back).
    void changed();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    TTable* table() const;
    QString fieldText() const;
    QString storedText() const;
    void loadFromField();
    void onTextChanged();
    void storeIntoField();

    QPointer<TDataSource> m_source;
    QString m_fieldName;
    bool m_loading = false;
};
