#include "QueryWindow.h"
#include "app/ResultCopy.h"
#include "app/ResultFilter.h"
#include "data/Query.h"
#include "export/XlsxExport.h"
#include "ui/FilterDialog.h"
#include "ui/widgets/DBGrid.h"

#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPrinter>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

using RowFilter::Condition;
using RowFilter::Test;

namespace
{

// 120 rows: n from 1 to 120, nom "nom1" to "nom120".
const QString kRows = QStringLiteral(
    "CREATE TABLE t (n INTEGER, nom VARCHAR(20));"
    "INSERT INTO t WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 120) "
    "SELECT x, 'nom' || x FROM c");

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The records in what a command wrote: rows of the HTML table, lines of the text file,
// of the CSV file and of the clipboard less their header, pages of the listing.
int recordsIn(const QString& command, const QByteArray& written)
{
    if (command == QLatin1String("html"))
        return int(written.count("<tr>")) - 1;
    if (command == QLatin1String("text"))
        return int(written.count('\n'));
    if (command == QLatin1String("print"))
        return int(written.count(QByteArrayLiteral("/Type /Page\n")) + written.count(QByteArrayLiteral("/Type /Page ")));
    return int(written.count('\n')) - 1;
}

} // namespace

// The grid's header menu filters the held result, marks the filtered columns, and the
// commands that write the result ask whether to write the records shown or all.
class TestResultFilter : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { initTestEnvironment(); }
    void cleanup() { m_q.reset(); }

    void headerMenuFiltersTheGrid();
    void writingAFilteredResultAsks_data();
    void writingAFilteredResultAsks();
    void dialogStaysOpenWhileTheConditionCannotFilter();

private:
    void openRows();
    void filter(int column, const Condition& condition);
    QueryWindow m_q;
};

void TestResultFilter::openRows()
{
    m_q.createDatabase(kRows);
    m_q.createWindow();
    QVERIFY(m_q.showActive());
    m_q.run(QStringLiteral("SELECT * FROM t"));
}

void TestResultFilter::filter(int column, const Condition& condition)
{
    QHeaderView* header = m_q.window->DBGridSQL->horizontalHeader();
    emit header->customContextMenuRequested(QPoint(header->sectionViewportPosition(column) + 2, 2));
    m_q.window->CopieResultat->PopupEnTetes->hide();
    m_q.dialogs->filterAnswers << condition;
    QVERIFY(m_q.window->FiltreResultat->PopupFiltrer->isEnabled());
    m_q.window->FiltreResultat->PopupFiltrer->trigger();
}

void TestResultFilter::headerMenuFiltersTheGrid()
{
    openRows();
    TFicheSQL& w = *m_q.window;
    const auto* grid = w.DBGridSQL->model();
    const int headerHeight = w.DBGridSQL->horizontalHeader()->sizeHint().height();
    filter(1, { Test::Contains, QStringLiteral("NOM1"), {} });
    filter(0, { Test::Between, QString(), QStringLiteral("50") });
    const QList<ScriptedDialogs::Call> asked = m_q.dialogs->callsOf(QStringLiteral("filter"));
    QCOMPARE(asked.size(), 2);
    QCOMPARE(asked[0].filter.column, QStringLiteral("nom"));
    QVERIFY(!asked[0].filter.ordered);
    QVERIFY(asked[1].filter.ordered);
    QCOMPARE(asked[1].filter.problem({ Test::Between, QStringLiteral("x"), {} }),
        QStringLiteral("« x » n'est pas un nombre"));
    // nom1 and nom10 to nom19.
    QCOMPARE(grid->rowCount(), 11);
    QCOMPARE(grid->headerData(1, Qt::Horizontal, Qt::ToolTipRole).toString(),
        QStringLiteral("Filtre : contient « NOM1 »\n11 enregistrements affichés sur 120"));
    QVERIFY(grid->headerData(0, Qt::Horizontal, Qt::DecorationRole).isValid());
    QCOMPARE(grid->headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(), QStringLiteral("nom"));
    // The funnel takes no height: the grid's rows stay where they were.
    QCOMPARE(w.DBGridSQL->horizontalHeader()->sizeHint().height(), headerHeight);
    QCOMPARE(w.LabelCompteurSQL->text(), QStringLiteral("120 enregistrements"));
    // The column's condition is proposed again.
    filter(1, { Test::Equals, QStringLiteral("nom12"), {} });
    QCOMPARE(m_q.dialogs->callsOf(QStringLiteral("filter")).last().filter.condition,
        (Condition { Test::Contains, QStringLiteral("NOM1"), {} }));
    QCOMPARE(grid->rowCount(), 1);
    QCOMPARE(w.QuerySQL->FieldByName(QStringLiteral("nom"))->asString(), QStringLiteral("nom12"));

    emit w.DBGridSQL->horizontalHeader()->customContextMenuRequested(QPoint(2, 2));
    w.CopieResultat->PopupEnTetes->hide();
    QVERIFY(w.FiltreResultat->PopupRetirerFiltres->isEnabled());
    w.FiltreResultat->PopupRetirerFiltres->trigger();
    QCOMPARE(grid->rowCount(), 120);
    QVERIFY(!grid->headerData(0, Qt::Horizontal, Qt::DecorationRole).isValid());
    QVERIFY(!grid->headerData(1, Qt::Horizontal, Qt::ToolTipRole).isValid());

    // A statement run again shows all of its rows.
    filter(1, { Test::Equals, QStringLiteral("nom12"), {} });
    m_q.run(QStringLiteral("SELECT * FROM t"));
    QVERIFY(!w.QuerySQL->filtered());
    QCOMPARE(grid->rowCount(), 120);
    QVERIFY(m_q.dialogs->messageTexts().isEmpty());
}

void TestResultFilter::writingAFilteredResultAsks_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("verb");
    QTest::addColumn<int>("answer");
    QTest::addColumn<int>("records"); // -1: nothing written
    const struct {
        const char* command;
        const char* verb;
    } commands[] = { { "html", "Écrire" }, { "text", "Écrire" }, { "csv", "Écrire" }, { "workbook", "Écrire" },
        { "copy", "Copier" }, { "print", "Imprimer" } };
    for (const auto& c : commands) {
        const bool pages = QByteArray(c.command) == "print";
        const bool any = QByteArray(c.command) == "workbook";
        QTest::addRow("%s the records shown", c.command) << c.command << c.verb << 0 << (any ? 0 : pages ? 1 : 2);
        QTest::addRow("%s all of them", c.command) << c.command << c.verb << 1 << (any ? 0 : pages ? 2 : 120);
        QTest::addRow("%s cancelled", c.command) << c.command << c.verb << 2 << -1;
    }
}

void TestResultFilter::writingAFilteredResultAsks()
{
    QFETCH(QString, command);
    QFETCH(QString, verb);
    QFETCH(int, answer);
    QFETCH(int, records);
    if (command == QLatin1String("workbook") && !XlsxExport::available())
        QSKIP("built without libxlsxwriter");
    openRows();
    TFicheSQL& w = *m_q.window;
    m_q.dialogs->filterAnswers << Condition { Test::Between, QStringLiteral("7"), QStringLiteral("8") };
    w.FiltreResultat->filterColumn(0);
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("sortie.txt"));
    m_q.dialogs->messageAnswers << answer;
    QGuiApplication::clipboard()->setText(QStringLiteral("avant"));
    if (command == QLatin1String("html") || command == QLatin1String("text")) {
        m_q.dialogs->saveAnswers << Dialogs::SaveFileResult { target, command == QLatin1String("html") ? 1 : 2 };
        w.ToolButtonEnregistrer->click();
    } else if (command == QLatin1String("csv") || command == QLatin1String("workbook")) {
        m_q.dialogs->saveAnswers << Dialogs::SaveFileResult { target, 1 };
        QTest::keyClick(w.ComboBoxSQL, command == QLatin1String("csv") ? Qt::Key_S : Qt::Key_X,
            Qt::ControlModifier | Qt::ShiftModifier);
    } else if (command == QLatin1String("copy")) {
        QTest::keyClick(w.ComboBoxSQL, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
    } else {
        m_q.dialogs->printAnswers << [target](QPrinter& printer) {
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(target);
            return true;
        };
        w.ToolButtonImprimer->click();
    }
    const QList<ScriptedDialogs::Call> messages = m_q.dialogs->callsOf(QStringLiteral("message"));
    QCOMPARE(messages.size(), 1);
    QCOMPARE(messages[0].message.caption, QStringLiteral("Résultat filtré"));
    QCOMPARE(messages[0].message.text,
        QStringLiteral("Le résultat est filtré : 2 enregistrements affichés sur 120.\n"
                       "%1 les enregistrements affichés ou tous les enregistrements ?")
            .arg(verb));
    QCOMPARE(messages[0].message.buttons,
        (QStringList { QStringLiteral("Les enregistrements affichés"), QStringLiteral("Tous les enregistrements"),
            QStringLiteral("Annuler") }));
    QCOMPARE(messages[0].message.escapeButton, 2);
    const QByteArray written
        = command == QLatin1String("copy") ? QGuiApplication::clipboard()->text().toUtf8() : fileBytes(target);
    if (records < 0)
        QVERIFY(command == QLatin1String("copy") ? written == "avant" : !QFile::exists(target));
    else if (records == 0)
        QVERIFY(!written.isEmpty());
    else if (command == QLatin1String("print"))
        QCOMPARE(recordsIn(command, written) > 1, records > 1);
    else
        QCOMPARE(recordsIn(command, written), records);
    // The filter's rows are shown again.
    QCOMPARE(w.DBGridSQL->model()->rowCount(), 2);
    QVERIFY(w.QuerySQL->filtered());
}

void TestResultFilter::dialogStaysOpenWhileTheConditionCannotFilter()
{
    const TextForms forms = TextForms::current();
    Dialogs::FilterRequest request;
    request.column = QStringLiteral("n");
    request.ordered = true;
    request.problem = [&forms](const Condition& c) { return RowFilter::problem(c, ftInteger, forms); };
    FilterDialog dialog(request);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Filtrer"));
    QVERIFY(dialog.EditJusqua->isHidden());
    dialog.ComboBoxCondition->setCurrentIndex(dialog.ComboBoxCondition->findText(QStringLiteral("est compris entre")));
    QVERIFY(!dialog.EditJusqua->isHidden());
    dialog.EditValeur->setText(QStringLiteral("abc"));
    dialog.ButtonFiltrer->click();
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QCOMPARE(dialog.LabelProbleme->text(), QStringLiteral("« abc » n'est pas un nombre"));
    QVERIFY(!dialog.LabelProbleme->isHidden());
    dialog.EditValeur->setText(QStringLiteral("5"));
    dialog.ButtonFiltrer->click();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.condition(), (Condition { Test::Between, QStringLiteral("5"), QString() }));
    // The tests without a value take none.
    dialog.ComboBoxCondition->setCurrentIndex(dialog.ComboBoxCondition->findText(QStringLiteral("est vide")));
    QVERIFY(!dialog.EditValeur->isEnabled());
    QCOMPARE(dialog.condition(), (Condition { Test::Empty, QString(), QString() }));
    // A column of texts has no interval.
    request.ordered = false;
    QCOMPARE(FilterDialog(request).ComboBoxCondition->count(), 4);
}

QTEST_MAIN(TestResultFilter)
#include "tst_resultfilter.moc"
