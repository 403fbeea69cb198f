#include "ui/sql/QueryEditor.h"

#include "ui/sql/SqlColours.h"
#include "ui/sql/SqlCompleter.h"
#include "ui/widgets/DialogFit.h"

#include <QDialogButtonBox>
#include <QKeyEvent>
#include <QMimeData>
#include <QPushButton>
#include <QVBoxLayout>

QString oneLine(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    for (const QChar lineBreak :
        { QChar(u'\r'), QChar(u'\n'), QChar(QChar::ParagraphSeparator), QChar(QChar::LineSeparator) })
        text.replace(lineBreak, QLatin1Char(' '));
    return text;
}

StatementTextEdit::StatementTextEdit(QWidget* parent)
    : QPlainTextEdit(parent)
{
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    setTabChangesFocus(true);
    new SqlHighlighter(this, document());
}

QString StatementTextEdit::statement() const
{
    return oneLine(toPlainText());
}

void StatementTextEdit::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        emit enterPressed();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

void StatementTextEdit::insertFromMimeData(const QMimeData* source)
{
    if (source && source->hasText())
        insertPlainText(oneLine(source->text()));
}

QueryEditor::QueryEditor(const QString& statement, std::function<SqlNames()> names, QWidget* parent)
    : QDialog(parent)
    , m_edit(new StatementTextEdit(this))
    , m_buttons(new QDialogButtonBox(this))
{
    setObjectName(QStringLiteral("QueryEditor"));
    setWindowTitle(QStringLiteral("Éditeur de requête"));
    m_edit->setObjectName(QStringLiteral("QueryEditorText"));
    m_edit->setAccessibleName(QStringLiteral("Requête SQL"));
    m_edit->setPlainText(oneLine(statement));
    m_edit->moveCursor(QTextCursor::End);
    m_buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    m_buttons->addButton(QStringLiteral("Annuler"), QDialogButtonBox::RejectRole);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_edit);
    layout->addWidget(m_buttons);
    resize(DialogFit::textSize(this, 85, 16));
    new SqlCompleter(m_edit, std::move(names));
    connect(m_buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_edit, &StatementTextEdit::enterPressed, this, &QDialog::accept);
}
