#include "QueryWindow.h"
#include "app/WorkProgress.h"
#include "data/Query.h"
#include "ui/widgets/DBGrid.h"

#include <QComboBox>
#include <QFile>
#include <QPrinter>
#include <QProgressDialog>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QToolButton>

// The query window's print command with a scripted print dialog.
class TestPrintCommand : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { initTestEnvironment(); }
    void init();
    void cleanup();

    void cancelPrintsNothing();
    void confirmPrintsAndLeavesLastRow();
    void closedQueryFailsAfterDialog();
    void cancellingProgressAbortsLongJob();

private:
    void runQuery();
    void answerPdf(const QString& file, bool confirm);

    QTemporaryDir m_dir;
    QueryWindow m_q;
};

void TestPrintCommand::init()
{
    m_q.createDatabase(QStringLiteral("CREATE TABLE t (NOM VARCHAR(10));"
                                      "INSERT INTO t VALUES ('Arnaud'), ('Barbier'), ('Colin')"));
    m_q.createWindow();
}

void TestPrintCommand::cleanup()
{
    m_q.reset();
}

void TestPrintCommand::runQuery()
{
    m_q.run(QStringLiteral("SELECT * FROM t"));
}

void TestPrintCommand::answerPdf(const QString& file, bool confirm)
{
    m_q.dialogs->printAnswers << [file, confirm](QPrinter& printer) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(file);
        return confirm;
    };
}

void TestPrintCommand::cancelPrintsNothing()
{
    runQuery();
    const QString pdf = m_dir.filePath(QStringLiteral("cancel.pdf"));
    answerPdf(pdf, false);
    QTest::mouseClick(m_q.window->ToolButtonImprimer, Qt::LeftButton);
    QCOMPARE(m_q.dialogs->callsOf(QStringLiteral("print")).size(), 1);
    QVERIFY(!QFile::exists(pdf));
    QCOMPARE(m_q.window->QuerySQL->recNo(), qsizetype(0));
    QVERIFY(m_q.dialogs->messageTexts().isEmpty());
}

void TestPrintCommand::confirmPrintsAndLeavesLastRow()
{
    runQuery();
    const QString pdf = m_dir.filePath(QStringLiteral("liste.pdf"));
    answerPdf(pdf, true);
    QTest::mouseClick(m_q.window->ToolButtonImprimer, Qt::LeftButton);
    QVERIFY(m_q.dialogs->messageTexts().isEmpty());
    QVERIFY(QFile(pdf).size() > 0);
    QVERIFY(m_q.window->QuerySQL->eof());
    QCOMPARE(m_q.window->QuerySQL->recNo(), qsizetype(2));
    // The grid catches up with the cursor once events run.
    QTRY_COMPARE(m_q.window->DBGridSQL->currentIndex().row(), 2);
}

void TestPrintCommand::closedQueryFailsAfterDialog()
{
    const QString pdf = m_dir.filePath(QStringLiteral("closed.pdf"));
    answerPdf(pdf, true);
    QTest::mouseClick(m_q.window->ToolButtonImprimer, Qt::LeftButton);
    QCOMPARE(m_q.dialogs->callsOf(QStringLiteral("print")).size(), 1);
    QCOMPARE(m_q.dialogs->messageTexts(), QStringList { QStringLiteral("Dataset is not active.") });
    QVERIFY(!QFile::exists(pdf));
}

void TestPrintCommand::cancellingProgressAbortsLongJob()
{
    m_q.db->exec(QStringLiteral("WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 300000) "
                                "INSERT INTO t SELECT 'ligne ' || x FROM c"));
    runQuery();
    const QString pdf = m_dir.filePath(QStringLiteral("long.pdf"));
    answerPdf(pdf, true);
    // The user presses "Annuler" as soon as the progress dialog shows. Until then the
    // job stalls for half a second each time it lets events through, as on a very busy
    // machine: however fast the machine, it outlasts the wait before the dialog shows.
    bool cancelled = false;
    QTimer watcher;
    connect(&watcher, &QTimer::timeout, this, [&] {
        auto* progress = m_q.window->findChild<QProgressDialog*>();
        if (!progress || !progress->isVisible()) {
            QThread::msleep(WorkProgress::kShowAfterMs);
            return;
        }
        watcher.stop();
        QCOMPARE(progress->labelText(), QStringLiteral("Impression des données de la requête…"));
        progress->cancel();
        cancelled = true;
    });
    watcher.start(0);
    QTest::mouseClick(m_q.window->ToolButtonImprimer, Qt::LeftButton);
    QVERIFY(cancelled);
    QVERIFY(m_q.dialogs->messageTexts().isEmpty());
    // An aborted job leaves no file.
    QVERIFY(!QFile::exists(pdf));
    QVERIFY(!m_q.window->findChild<QProgressDialog*>());
}

QTEST_MAIN(TestPrintCommand)
#include "tst_printcommand.moc"
