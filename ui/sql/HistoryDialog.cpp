#include "ui/sql/HistoryDialog.h"

#include "ui/widgets/DialogFit.h"
#include "ui/widgets/ThemeColours.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLocale>
#include <QPushButton>
#include <QScrollBar>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace
{
constexpr int kStatementRole = Qt::UserRole;
constexpr int kFailedRole = Qt::UserRole + 1;
// The widest result column, in average characters: a count, or an error's start.
constexpr int kResultColumns = 28;
} // namespace

HistoryDialog::HistoryDialog(const StatementHistory& history, QWidget* parent)
    : QDialog(parent)
    , m_list(new QTreeWidget(this))
{
    setObjectName(QStringLiteral("HistoryDialog"));
    setWindowTitle(QStringLiteral("Historique"));
    m_list->setObjectName(QStringLiteral("HistoryList"));
    m_list->setAccessibleName(QStringLiteral("Requêtes exécutées"));
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setHeaderLabels(
        { QStringLiteral("Heure"), QStringLiteral("Requête"), QStringLiteral("Résultat"), QStringLiteral("Durée") });
    const QList<HistoryEntry>& entries = history.entries();
    for (auto e = entries.crbegin(); e != entries.crend(); ++e) {
        // The list shows a statement's start; the whole of it goes back to the box.
        const QString values = valuesText(e->values);
        auto* item = new QTreeWidgetItem(m_list,
            { e->at.toString(QStringLiteral("HH:mm:ss")),
                values.isEmpty() ? e->statement.left(300) : e->statement.left(300) + QStringLiteral("  ") + values,
                resultText(*e), durationText(e->milliseconds) });
        item->setData(0, kStatementRole, e->statement);
        item->setToolTip(1, values.isEmpty() ? e->statement.left(2000) : e->statement.left(2000) + u'\n' + values);
        item->setToolTip(2, item->text(2));
        item->setData(2, kFailedRole, e->records < 0);
    }
    colourFailures();
    ThemeColours::follow(
        m_list, [this] { colourFailures(); }, this);
    // Measured in the list's font, which follows the system's: the time and the
    // duration whole, a count whole and an error's start; the statement takes the rest.
    m_list->resizeColumnToContents(0);
    m_list->header()->resizeSection(2,
        qMax(m_list->header()->sectionSizeHint(2),
            qMin(static_cast<const QAbstractItemView*>(m_list)->sizeHintForColumn(2),
                m_list->fontMetrics().averageCharWidth() * kResultColumns)));
    m_list->resizeColumnToContents(3);
    const int others
        = m_list->header()->sectionSize(0) + m_list->header()->sectionSize(2) + m_list->header()->sectionSize(3);
    if (m_list->topLevelItemCount() > 0)
        m_list->setCurrentItem(m_list->topLevelItem(0));
    m_list->installEventFilter(this);
    connect(m_list, &QTreeWidget::itemDoubleClicked, this, &HistoryDialog::choose);

    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(QStringLiteral("Fermer"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_list);
    layout->addWidget(buttons);
    resize(DialogFit::textSize(this, 110, 20));
    // The list's width once laid out in that size: the statement column takes what the
    // others leave.
    layout->activate();
    const int room = m_list->width() - 2 * m_list->frameWidth() - m_list->verticalScrollBar()->sizeHint().width();
    m_list->header()->resizeSection(1, qMax(m_list->header()->sectionSizeHint(1), room - others));
}

void HistoryDialog::colourFailures()
{
    const QColor ink = ThemeColours::colour(ThemeColours::Ink::Failure, m_list->palette());
    for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = m_list->topLevelItem(i);
        if (item->data(2, kFailedRole).toBool())
            item->setForeground(2, ink);
    }
}

QString HistoryDialog::resultText(const HistoryEntry& entry)
{
    QString text;
    if (entry.records < 0)
        text = entry.error.left(500);
    else if (entry.records == 0)
        text = QStringLiteral("Aucun résultat");
    else if (entry.records == 1)
        text = QStringLiteral("1 enregistrement");
    else
        text = QString::number(entry.records) + QStringLiteral(" enregistrements");
    return entry.transactionOpen ? text + QStringLiteral(" (transaction ouverte)") : text;
}

QString HistoryDialog::valuesText(const NamedValues& values)
{
    if (values.isEmpty())
        return {};
    QStringList shown;
    for (const NamedValue& v : values) {
        QString text = v.value.text.left(100);
        // One line per statement in the list: a line break shows as a sign.
        text.replace(QStringLiteral("\r\n"), QStringLiteral("↵")).replace(u'\n', u'↵').replace(u'\r', u'↵');
        shown << v.name + QStringLiteral(" = ")
                + (v.value.null ? QStringLiteral("NULL") : QStringLiteral("« %1 »").arg(text));
    }
    return u'(' + shown.join(QStringLiteral(", ")) + u')';
}

QString HistoryDialog::durationText(qint64 milliseconds)
{
    if (milliseconds < 60'000)
        return QLocale().toString(double(milliseconds) / 1000.0, 'f', 2) + QStringLiteral(" s");
    const qint64 seconds = milliseconds / 1000;
    return QStringLiteral("%1 min %2 s").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

bool HistoryDialog::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_list && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            choose();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void HistoryDialog::choose()
{
    const QTreeWidgetItem* item = m_list->currentItem();
    if (!item)
        return;
    emit chosen(item->data(0, kStatementRole).toString());
    accept();
}
