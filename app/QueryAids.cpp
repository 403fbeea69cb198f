#include "app/QueryAids.h"

#include "data/Query.h"
#include "data/SqlParameters.h"
#include "engine/Connection.h"
#include "engine/Databases.h"
#include "engine/SqlStatements.h"
#include "platform/Exceptions.h"
#include "ui/Dialogs.h"
#include "ui/ErrorGuard.h"
#include "ui/sql/QueryEditor.h"
#include "ui/sql/SqlColours.h"
#include "ui/sql/SqlCompleter.h"
#include "ui/sql/SqlTokens.h"
#include "ui/sql/TablesWindow.h"
#include "ui/widgets/Zoom.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSet>
#include <QShortcut>
#include <QTime>

QueryAids::QueryAids(QueryControls controls, QObject* parent)
    : QObject(parent)
    , m_controls(std::move(controls))
    , m_zoom(new ViewZoom(this))
{
    QLineEdit* box = m_controls.statement->lineEdit();
    box->setPlaceholderText(QStringLiteral("Requête SQL, puis Entrée"));
    new LineEditSqlColours(box);
    new SqlCompleter(box, m_controls.statement, [this] { return names(); });
    for (QAbstractScrollArea* view : m_controls.views)
        m_zoom->add(view);
    addKeys();
}

void QueryAids::addKey(const QKeySequence& keys, std::function<void()> handler)
{
    auto* shortcut = new QShortcut(keys, m_controls.window);
    connect(shortcut, &QShortcut::activated, this, [handler = std::move(handler)] { guarded(handler); });
    m_keys << keys;
}

void QueryAids::addKeys()
{
    // F5 runs as Enter does, the error's place shown after its box.
    addKey(QKeySequence(Qt::Key_F5), [this] { m_controls.run({}); });
    addKey(QKeySequence(Qt::SHIFT | Qt::Key_F5), [this] { runWithValues(); });
    addKey(QKeySequence(Qt::Key_F6), [this] { moveFocus(true); });
    addKey(QKeySequence(Qt::SHIFT | Qt::Key_F6), [this] { moveFocus(false); });
    addKey(QKeySequence(Qt::CTRL | Qt::Key_E), [this] { openEditor(); });
    addKey(QKeySequence(Qt::CTRL | Qt::Key_H), [this] { openHistory(); });
    addKey(QKeySequence(Qt::CTRL | Qt::Key_T), [this] { openTables(); });
    addKey(QKeySequence(Qt::CTRL | Qt::Key_Plus), [this] { m_zoom->zoomIn(); });
    // Ctrl and the key that holds "+" on keyboards where it needs Shift.
    addKey(QKeySequence(Qt::CTRL | Qt::Key_Equal), [this] { m_zoom->zoomIn(); });
    addKey(QKeySequence(Qt::CTRL | Qt::Key_Minus), [this] { m_zoom->zoomOut(); });
    addKey(QKeySequence(Qt::CTRL | Qt::Key_0), [this] { m_zoom->reset(); });
    // The controls would take some of these keys for their own (Ctrl+E moves a line
    // edit's cursor to the end on some desktops): the window's come first.
    for (QWidget* w : focusCycle())
        w->installEventFilter(this);
}

QList<QWidget*> QueryAids::focusCycle() const
{
    QList<QWidget*> cycle { m_controls.statement };
    for (QAbstractScrollArea* view : m_controls.views)
        cycle << view;
    return cycle;
}

bool QueryAids::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::ShortcutOverride) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const QKeySequence pressed(key->keyCombination());
        const QKeySequence unpadded(QKeyCombination(key->modifiers() & ~Qt::KeypadModifier, Qt::Key(key->key())));
        if (m_keys.contains(pressed) || m_keys.contains(unpadded)) {
            event->ignore();
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

void QueryAids::runStarts(const QString& statement, const NamedValues& values)
{
    m_running = HistoryEntry { statement, QTime::currentTime(), -1, {}, 0, false, values };
    m_failed.clear();
    m_errorPlace = -1;
    m_clock.start();
}

void QueryAids::runEnded(qint64 records, bool transactionOpen)
{
    m_running.records = records;
    m_running.transactionOpen = transactionOpen;
    m_running.milliseconds = m_clock.elapsed();
    m_history.add(m_running);
    ranStatement();
}

void QueryAids::runFailed(bool transactionOpen)
{
    m_running.milliseconds = m_clock.elapsed();
    m_running.transactionOpen = transactionOpen;
    try {
        throw;
    } catch (const EDatabaseError& e) {
        m_running.error = e.message();
        m_failed = m_running.statement;
        m_errorPlace = e.position();
    } catch (const std::exception& e) {
        m_running.error = ErrorGuard::messageOf(e);
    } catch (...) {
        m_running.error = QStringLiteral("Erreur inconnue");
    }
    m_history.add(m_running);
    ranStatement();
}

void QueryAids::ranStatement()
{
    // A failed text may have applied some of its statements: they count too.
    if (mayChangeSchema(m_running.statement.toUtf8()))
        forgetNames();
}

void QueryAids::pointAtError()
{
    const qsizetype place = std::exchange(m_errorPlace, -1);
    QLineEdit* box = m_controls.statement->lineEdit();
    if (place < 0 || box->text() != m_failed)
        return;
    const SqlToken token = sqlTokenAt(m_failed, place);
    if (token.length > 0)
        box->setSelection(int(token.start), int(token.length));
    else
        box->setCursorPosition(int(place));
}

const SqlNames& QueryAids::names()
{
    const QString alias = m_controls.query->databaseName();
    if (m_namesRead && !m_namesFrom.expired() && Databases::opened(alias) == m_namesFrom.lock())
        return m_names;
    m_names = {};
    m_namesError.clear();
    m_namesFrom.reset();
    try {
        const auto connection = Databases::connect(alias);
        m_namesFrom = connection;
        m_names.tables = connection->catalogue();
        m_names.foldsToLower = connection->unquotedNamesFoldToLower();
    } catch (const std::exception& e) {
        // A database that cannot tell its tables still gets the keywords.
        m_namesError = ErrorGuard::messageOf(e);
    }
    m_namesRead = true;
    ++m_namesReading;
    return m_names;
}

void QueryAids::forgetNames()
{
    m_namesRead = false;
    if (m_tables && m_tables->isVisible())
        showNames();
}

void QueryAids::showNames()
{
    names();
    if (m_tablesShow != m_namesReading) {
        m_tables->setNames(m_names, m_namesError);
        m_tablesShow = m_namesReading;
    }
}

void QueryAids::openEditor()
{
    auto* editor = new QueryEditor(
        m_controls.statement->currentText(), [this] { return names(); }, m_controls.window);
    editor->setAttribute(Qt::WA_DeleteOnClose);
    connect(editor, &QDialog::accepted, m_controls.window,
        [this, editor] { m_controls.statement->setEditText(editor->statement()); });
    editor->open();
}

void QueryAids::openHistory()
{
    auto* dialog = new HistoryDialog(m_history, m_controls.window);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &HistoryDialog::chosen, m_controls.window, [this](const QString& statement) {
        m_controls.statement->setEditText(statement);
        m_controls.statement->setFocus();
    });
    dialog->open();
}

void QueryAids::openTables()
{
    if (!m_tables) {
        // A window beside the query window; its font is the system's, not the window's.
        m_tables = new TablesWindow(m_controls.window);
        connect(m_tables, &TablesWindow::statementChosen, m_controls.window, [this](const QString& statement) {
            m_controls.statement->setEditText(statement);
            backToStatement();
        });
        connect(m_tables, &TablesWindow::nameChosen, m_controls.window, [this](const QString& name) {
            m_controls.statement->lineEdit()->insert(name);
            backToStatement();
        });
        connect(m_tables, &TablesWindow::reloadAsked, m_controls.window, [this] { guarded([this] { forgetNames(); }); });
    }
    showNames();
    m_tables->show();
    m_tables->raise();
    m_tables->activateWindow();
    m_tables->filter()->setFocus();
}

void QueryAids::backToStatement()
{
    m_controls.window->activateWindow();
    m_controls.statement->setFocus();
}

void QueryAids::runWithValues()
{
    const QString statement = m_controls.statement->currentText();
    NamedValues values;
    for (const QString& name : scanParameters(statement).names())
        values << NamedValue { name, m_lastValues.value(name) };
    if (!values.isEmpty()) {
        const std::optional<NamedValues> given = Dialogs::instance().parameters(m_controls.window, values);
        if (!given) {
            m_controls.statement->setFocus();
            return;
        }
        values = *given;
        for (const NamedValue& v : values)
            m_lastValues.insert(v.name, v.value);
    }
    m_controls.run(values);
}

void QueryAids::moveFocus(bool forward)
{
    const QList<QWidget*> cycle = focusCycle();
    qsizetype at = -1;
    for (QWidget* w = QApplication::focusWidget(); w && at < 0; w = w->parentWidget())
        at = cycle.indexOf(w);
    const qsizetype n = cycle.size();
    const qsizetype next = at < 0 ? 0 : (at + (forward ? 1 : n - 1)) % n;
    cycle[next]->setFocus(forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
}
