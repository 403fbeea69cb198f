#include "ui/widgets/DBMemo.h"

#include "data/DataSet.h"
#include "data/Table.h"
#include "platform/LineEnds.h"
#include "ui/ErrorGuard.h"

#include <QKeyEvent>
#include <QTextDocument>

namespace
{
// The editor's text with its line ends as "\n". Not its plain text, which gives
// non-breaking spaces as spaces.
QString editorText(const QPlainTextEdit& editor)
{
    QString text = editor.document()->toRawText();
    return text.replace(QChar::ParagraphSeparator, QLatin1Char('\n')).replace(QChar::LineSeparator, QLatin1Char('\n'));
}
} // namespace

QString textWithCrLf(const QPlainTextEdit& editor)
{
    return LineEnds::toCrLf(editorText(editor));
}

TDBMemo::TDBMemo(QWidget* parent, const QString& name)
    : QPlainTextEdit(parent)
{
    if (!name.isEmpty())
        setObjectName(name);
    connect(this, &QPlainTextEdit::textChanged, this, &TDBMemo::onTextChanged);
}

TTable* TDBMemo::table() const
{
    return m_source ? qobject_cast<TTable*>(m_source->dataSet()) : nullptr;
}

void TDBMemo::setDataSource(TDataSource* source)
{
    if (TTable* old = table())
        disconnect(old, nullptr, this, nullptr);
    m_source = source;
    if (TTable* t = table()) {
        connect(t, &TDataSet::layoutChanged, this, &TDBMemo::loadFromField);
        connect(t, &TDataSet::recordChanged, this, &TDBMemo::loadFromField);
        connect(t, &TDataSet::stateChanged, this, &TDBMemo::loadFromField);
        connect(t, &TTable::aboutToPost, this, &TDBMemo::storeIntoField);
    }
    loadFromField();
}

void TDBMemo::setDataField(const QString& fieldName)
{
    m_fieldName = fieldName;
    loadFromField();
}

QString TDBMemo::text() const
{
    return textWithCrLf(*this);
}

void TDBMemo::setText(const QString& text)
{
    const QString shown = LineEnds::toLf(text);
    if (shown != editorText(*this))
        setPlainText(shown);
}

QString TDBMemo::fieldText() const
{
    TTable* t = table();
    TField* f = t && t->active() ? t->FindField(m_fieldName) : nullptr;
    return f ? f->asString() : QString();
}

QString TDBMemo::storedText() const
{
    TTable* t = table();
    TField* f = t && t->active() ? t->FindField(m_fieldName) : nullptr;
    return f ? f->textOf(t->cellAt(t->recNo(), f->index())) : QString();
}

void TDBMemo::loadFromField()
{
    TTable* t = table();
    setReadOnly(!t || !t->canModify());
    // While the record is being edited the memo holds the change; it is stored at post.
    if (t && t->editing())
        return;
    m_loading = true;
    setText(fieldText());
    m_loading = false;
}

void TDBMemo::onTextChanged()
{
    if (!m_loading) {
        TTable* t = table();
        if (t && t->state() == TDataSet::dsBrowse)
            guarded([t] { t->edit(); });
    }
    emit changed();
}

void TDBMemo::storeIntoField()
{
    TTable* t = table();
    if (TField* f = t ? t->FindField(m_fieldName) : nullptr)
        f->setAsString(text());
}

void TDBMemo::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        // Puts the stored text back; the record stays in edit state.
        m_loading = true;
        setText(storedText());
        m_loading = false;
        event->accept();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}
