#include "FileKinds.h"
#include "FileState.h"
#include "QueryWindow.h"
#include "app/WorkProgress.h"
#include "data/Query.h"
#include "data/Table.h"
#include "engine/Databases.h"
#include "platform/VectorState.h"
#include "ui/widgets/DBGrid.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QPrinter>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QToolButton>
#include <functional>
#include <optional>

namespace
{

const QString kEndless
    = QStringLiteral("WITH RECURSIVE r(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM r) SELECT x FROM r");

// Records the labels of the progress dialogs shown while it lives.
class ShownProgress : public QObject
{
public:
    ShownProgress() { qApp->installEventFilter(this); }
    ~ShownProgress() override { qApp->removeEventFilter(this); }
    QStringList labels;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show)
            if (auto* dialog = qobject_cast<QProgressDialog*>(watched))
                labels << dialog->labelText();
        return false;
    }
};

// Until a progress dialog of window shows, each time the work lets events through
// it stalls for the half second before the dialog shows, as on a very busy machine:
// any work that lets events through twice then outlasts it, however fast the machine.
// Then shown() is called once.
class BusyUntilShown : public QObject
{
public:
    BusyUntilShown(QWidget* window, std::function<void(QProgressDialog*)> shown = {})
    {
        connect(&m_timer, &QTimer::timeout, this, [this, window, shown] {
            auto* dialog = window->findChild<QProgressDialog*>();
            if (!dialog || !dialog->isVisible()) {
                QThread::msleep(WorkProgress::kShowAfterMs);
                return;
            }
            m_timer.stop();
            if (shown)
                shown(dialog);
        });
        m_timer.start(10);
    }

private:
    QTimer m_timer;
};

// Presses "Annuler" as a user would, as soon as a progress dialog of window shows;
// keeps what the dialog showed then.
class CancelWhenShown
{
public:
    explicit CancelWhenShown(QWidget* window)
        : m_busy(window, [this](QProgressDialog* dialog) {
            label = dialog->labelText();
            modal = dialog->windowModality() != Qt::NonModal;
            const auto buttons = dialog->findChildren<QPushButton*>();
            for (QPushButton* button : buttons)
                if (button->text() == QStringLiteral("Annuler"))
                    QTest::mouseClick(button, Qt::LeftButton);
        })
    {
    }
    QString label;
    bool modal = false;

private:
    BusyUntilShown m_busy;
};

// Presses "Annuler" once a progress dialog of window shows while pipe's reader has
// stopped reading: the work then waits for the reader.
class CancelWhenStalled : public QObject
{
public:
    CancelWhenStalled(QWidget* window, const NamedPipe& pipe)
    {
        connect(&m_timer, &QTimer::timeout, this, [this, window, &pipe] {
            auto* dialog = window->findChild<QProgressDialog*>();
            if (!dialog || !dialog->isVisible() || !pipe.stopped())
                return;
            m_timer.stop();
            modal = dialog->windowModality() != Qt::NonModal;
            const auto buttons = dialog->findChildren<QPushButton*>();
            for (QPushButton* button : buttons)
                if (button->text() == QStringLiteral("Annuler"))
                    QTest::mouseClick(button, Qt::LeftButton);
        });
        m_timer.start(10);
    }
    bool modal = false;

private:
    QTimer m_timer;
};

// Puts data in the upper halves of the vector registers, as code built for AVX that
// does not clear them leaves them (Qt's, when it creates a widget): see VectorState.
void dirtyVectorRegisters()
{
#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__))
    if (VectorState::canTell())
        // As plain assembly: a function built for AVX would clear them on its way out.
        __asm__ volatile("vpcmpeqd %%ymm0, %%ymm0, %%ymm0" ::: "xmm0");
#endif
}

} // namespace

// Long work in the query window shows its progress and stops on "Annuler"; a result
// that passes the memory ceiling stops; short work shows nothing.
class TestWorkProgress : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { initTestEnvironment(); }
    void init();
    void cleanup();

    void cancelledStatementIsRejected_data();
    void cancelledStatementIsRejected();
    void boundedStatementRunsToItsCount();
    void ceilingStopsEndlessStatement();
    void windowStaysOpenWhileWorkRuns_data();
    void windowStaysOpenWhileWorkRuns();
    void cancelledExportLeavesTargets_data();
    void cancelledExportLeavesTargets();
    void cancelledWriteIntoStalledPipe_data();
    void cancelledWriteIntoStalledPipe();
    void shortWorkShowsNoDialog_data();
    void shortWorkShowsNoDialog();
    void sparseReportsShowDialogWhenDue_data();
    void sparseReportsShowDialogWhenDue();

private:
    // Types sql and presses the run button; a failure shows in the error box.
    void run(const QString& sql);
    // Runs the statement that the tests start from: 2 rows, in the list.
    void runFirstStatement();
    void checkNothingChanged() const;

    QueryWindow m_q;
    QTemporaryDir m_dir;
};

void TestWorkProgress::init()
{
    m_q.createDatabase(QStringLiteral("CREATE TABLE PaBase (NOM VARCHAR(20), SOLDE MONEY);"
                                      "INSERT INTO PaBase VALUES ('Durand', 10.5), ('Martin', NULL);"
                                      "CREATE TABLE n (x INTEGER);"
                                      "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 2000) "
                                      "INSERT INTO n SELECT x FROM c"));
    m_q.createWindow();
    QVERIFY(m_q.showActive());
}

void TestWorkProgress::cleanup()
{
    m_q.reset();
}

void TestWorkProgress::run(const QString& sql)
{
    m_q.window->ComboBoxSQL->setEditText(sql);
    QTest::mouseClick(m_q.window->ToolButtonResult, Qt::LeftButton);
}

void TestWorkProgress::runFirstStatement()
{
    run(QStringLiteral("SELECT * FROM PaBase"));
    QCOMPARE(m_q.window->LabelCompteurSQL->text(), QStringLiteral("2 enregistrements"));
}

// A rejected statement: the query closed, the counter and the list as they were.
void TestWorkProgress::checkNothingChanged() const
{
    QVERIFY(!m_q.window->QuerySQL->active());
    QCOMPARE(m_q.window->DBGridSQL->model()->rowCount(), 0);
    QCOMPARE(m_q.window->LabelCompteurSQL->text(), QStringLiteral("2 enregistrements"));
    QCOMPARE(m_q.window->ComboBoxSQL->count(), 1);
    QCOMPARE(m_q.window->ComboBoxSQL->itemText(0), QStringLiteral("SELECT * FROM PaBase"));
}

void TestWorkProgress::cancelledStatementIsRejected_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("label");
    QTest::newRow("endless rows") << kEndless << "^Exécution de la requête...\n[1-9]\\d* lignes lues$";
    QTest::newRow("endless count") << QStringLiteral(
        "WITH RECURSIVE r(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM r) SELECT count(*) FROM r")
                                   << "^Exécution de la requête...\n0 ligne lue$";
    QTest::newRow("sort of a cross join before the first row")
        << QStringLiteral("SELECT a.x, b.x FROM n a, n b ORDER BY a.x * 7 % 13 + b.x DESC")
        << "^Exécution de la requête...\n0 ligne lue$";
}

void TestWorkProgress::cancelledStatementIsRejected()
{
    QFETCH(QString, sql);
    QFETCH(QString, label);
    runFirstStatement();
    CancelWhenShown user(m_q.window.get());
    run(sql);
    QVERIFY2(QRegularExpression(label).match(user.label).hasMatch(), qPrintable(user.label));
    QVERIFY(user.modal);
    QCOMPARE(m_q.dialogs->messageTexts(), QStringList { QStringLiteral("Requête interrompue par l'utilisateur.") });
    checkNothingChanged();
    QCOMPARE(m_q.window->QuerySQL->sql(), sql);
    QVERIFY(!m_q.window->findChild<QProgressDialog*>());
    // The window goes on working.
    runFirstStatement();
}

void TestWorkProgress::boundedStatementRunsToItsCount()
{
    ShownProgress shown;
    const BusyUntilShown busy(m_q.window.get());
    run(kEndless + QStringLiteral(" LIMIT 1500000"));
    QCOMPARE(m_q.window->LabelCompteurSQL->text(), QStringLiteral("1500000 enregistrements"));
    QCOMPARE(m_q.window->DBGridSQL->model()->rowCount(), 1500000);
    QCOMPARE(m_q.window->ComboBoxSQL->count(), 1);
    QVERIFY(m_q.dialogs->messageTexts().isEmpty());
    // Long enough to show the dialog, which left with the work.
    QCOMPARE(shown.labels.size(), 1);
    QVERIFY(shown.labels[0].startsWith(QStringLiteral("Exécution de la requête...\n")));
    QVERIFY(!m_q.window->findChild<QProgressDialog*>());
}

void TestWorkProgress::windowStaysOpenWhileWorkRuns_data()
{
    QTest::addColumn<bool>("print"); // false: a statement
    QTest::newRow("statement") << false;
    QTest::newRow("print of 300000 rows") << true;
}

void TestWorkProgress::windowStaysOpenWhileWorkRuns()
{
    QFETCH(bool, print);
    const QString pdf = m_dir.filePath(QStringLiteral("liste.pdf"));
    if (print) {
        run(QStringLiteral("SELECT a.x FROM n a, n b LIMIT 300000"));
        m_q.dialogs->printAnswers << [pdf](QPrinter& printer) {
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(pdf);
            return true;
        };
    } else {
        runFirstStatement();
    }
    // The window manager asks the window to close before the dialog shows.
    bool closed = true;
    QTimer::singleShot(100, m_q.window.get(), [&] { closed = m_q.window->close(); });
    CancelWhenShown user(m_q.window.get());
    if (print)
        QTest::mouseClick(m_q.window->ToolButtonImprimer, Qt::LeftButton);
    else
        run(kEndless);
    QVERIFY(!closed);
    QVERIFY(m_q.window->isVisible());
    if (print) {
        QVERIFY(user.modal);
        QVERIFY(m_q.dialogs->messageTexts().isEmpty());
        QVERIFY(!QFile::exists(pdf));
    } else {
        checkNothingChanged();
    }
    runFirstStatement();
}

void TestWorkProgress::ceilingStopsEndlessStatement()
{
    runFirstStatement();
    Databases::connect(QStringLiteral("Velorin"))->setResultCeiling(qsizetype(8) << 20);
    run(kEndless);
    const QStringList messages = m_q.dialogs->messageTexts();
    QCOMPARE(messages.size(), 1);
    static const QRegularExpression tooLarge(
        QStringLiteral("^Résultat trop volumineux : [1-9]\\d* lignes lues \\([4-8],\\d Mo\\)\\.$"));
    QVERIFY2(tooLarge.match(messages[0]).hasMatch(), qPrintable(messages[0]));
    checkNothingChanged();
    // The list of statements is kept and saved as before.
    QTest::mouseClick(m_q.window->ToolButtonAjout, Qt::LeftButton);
    QVERIFY(m_q.window->TableSQL->editing());
    runFirstStatement();
}

// "Annuler" stops an export with every target as it was. A pipe whose reader stops
// taking the export leaves the window going: "Annuler" stops the export there too,
// saying that the reader got part of it, and the list being changed stays so.
void TestWorkProgress::cancelledExportLeavesTargets_data()
{
    QTest::addColumn<int>("filterIndex");
    QTest::addColumn<bool>("targetsExist");
    QTest::addColumn<bool>("stalledPipe"); // the target a pipe whose reader stops
    QTest::newRow("html, new file") << 1 << false << false;
    QTest::newRow("html, existing file") << 1 << true << false;
    QTest::newRow("text and side file, new") << 2 << false << false;
    QTest::newRow("text and side file, existing") << 2 << true << false;
    QTest::newRow("html into a pipe whose reader stops") << 1 << false << true;
    QTest::newRow("text into a pipe whose reader stops") << 2 << false << true;
}

void TestWorkProgress::cancelledExportLeavesTargets()
{
    QFETCH(int, filterIndex);
    QFETCH(bool, targetsExist);
    QFETCH(bool, stalledPipe);
#ifdef Q_OS_WIN
    if (stalledPipe)
        QSKIP("named pipes in a folder are a Unix matter");
#endif
    // Enough rows for the export to run past half a second; the blob fills a side file.
    run(QStringLiteral("SELECT a.x, printf('%.300c', 'v') AS t, CAST(b.x AS BLOB) AS b FROM n a, n b "
                       "LIMIT 1000000"));
    QCOMPARE(m_q.window->LabelCompteurSQL->text(), QStringLiteral("1000000 enregistrements"));
    const QString folder
        = m_dir.filePath(QString::number(filterIndex) + QString::number(targetsExist) + QString::number(stalledPipe));
    QVERIFY(QDir().mkpath(folder));
    const QString target = folder + (filterIndex == 1 ? QStringLiteral("/export.htm") : QStringLiteral("/export.txt"));
    if (targetsExist) {
        for (const QString& name : { target, folder + QStringLiteral("/export.mem") }) {
            QFile file(name);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("ancien contenu\r\n");
        }
    }
    std::optional<NamedPipe> pipe;
    if (stalledPipe) {
        pipe.emplace(target, NamedPipe::Reader::Stops);
        QVERIFY(pipe->available());
        QTest::mouseClick(m_q.window->ToolButtonAjout, Qt::LeftButton);
        QVERIFY(m_q.window->TableSQL->editing());
    }
    const auto before = folderSnapshot(folder);
    m_q.dialogs->saveAnswers << Dialogs::SaveFileResult { target, filterIndex };
    CancelWhenShown user(m_q.window.get());
    QTest::mouseClick(m_q.window->ToolButtonEnregistrer, Qt::LeftButton);
    QVERIFY2(user.label.startsWith(QStringLiteral("Enregistrement des données...\nEnregistrement ")),
        qPrintable(user.label));
    QVERIFY(user.modal);
    // Stopped half-way: no file created, none changed, no temporary left; no message
    // but for the pipe's reader, which got part of the export.
    const QStringList messages { QStringLiteral("Écriture dans %1 interrompue : le programme qui lit ce tube ne "
                                                "prenait plus les données, il n'en a reçu qu'une partie.")
                                     .arg(QDir::toNativeSeparators(target)) };
    QCOMPARE(m_q.dialogs->messageTexts(), stalledPipe ? messages : QStringList());
    QCOMPARE(folderSnapshot(folder), before);
    QVERIFY(!m_q.window->findChild<QProgressDialog*>());
    QVERIFY(m_q.window->QuerySQL->active());
    if (stalledPipe) {
        QVERIFY(m_q.window->TableSQL->editing());
        return;
    }
    // The query stays open, back on its first record.
    QCOMPARE(m_q.window->QuerySQL->recNo(), qsizetype(0));
}

// The capture editor's save and the result's printing into a pipe whose reader
// stops: "Annuler" stops them with the message, the capture editor keeps its text.
void TestWorkProgress::cancelledWriteIntoStalledPipe_data()
{
    QTest::addColumn<bool>("print"); // false: the capture editor's save
    QTest::newRow("capture editor's save") << false;
    QTest::newRow("printing to a PDF file") << true;
}

void TestWorkProgress::cancelledWriteIntoStalledPipe()
{
    QFETCH(bool, print);
#ifdef Q_OS_WIN
    QSKIP("named pipes in a folder are a Unix matter");
#endif
    const QString target = m_dir.filePath(QStringLiteral("tube") + QString::number(print));
    NamedPipe pipe(target, NamedPipe::Reader::Stops);
    QVERIFY(pipe.available());
    m_q.createCaptureEditor();
    QWidget* window = m_q.window.get();
    QToolButton* button = m_q.window->ToolButtonImprimer;
    if (print) {
        // More pages than the pipe and its reader's first part hold.
        run(QStringLiteral("SELECT a.x, printf('%.60c', 'v') FROM n a, n b LIMIT 20000"));
        m_q.dialogs->printAnswers << [target](QPrinter& printer) {
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(target);
            return true;
        };
    } else {
        const QString line(100, u'x');
        for (int i = 0; i < 3000; ++i)
            m_q.clip->AppendLine(line);
        m_q.dialogs->saveAnswers << Dialogs::SaveFileResult { target, 1 };
        window = m_q.clip.get();
        button = m_q.clip->ToolButtonSauver;
    }
    const QString text = m_q.clip->plainText();
    CancelWhenStalled user(window, pipe);
    QTest::mouseClick(button, Qt::LeftButton);
    QVERIFY(user.modal);
    QCOMPARE(m_q.dialogs->messageTexts(),
        QStringList { QStringLiteral("Écriture dans %1 interrompue : le programme qui lit ce tube ne prenait plus les "
                                     "données, il n'en a reçu qu'une partie.")
                          .arg(QDir::toNativeSeparators(target)) });
    QCOMPARE(fileKind(target), QStringLiteral("pipe"));
    QCOMPARE(m_q.clip->plainText(), text);
}

void TestWorkProgress::shortWorkShowsNoDialog_data()
{
    QTest::addColumn<int>("filterIndex"); // 0: no export
    QTest::newRow("statement of 100 rows") << 0;
    QTest::newRow("html export of 100 rows") << 1;
    QTest::newRow("text export of 100 rows") << 2;
}

void TestWorkProgress::shortWorkShowsNoDialog()
{
    QFETCH(int, filterIndex);
    ShownProgress shown;
    run(QStringLiteral("SELECT x, CAST(x AS BLOB) FROM n LIMIT 100"));
    QCOMPARE(m_q.window->LabelCompteurSQL->text(), QStringLiteral("100 enregistrements"));
    if (filterIndex > 0) {
        const QString target = m_dir.filePath(QStringLiteral("court") + QString::number(filterIndex));
        m_q.dialogs->saveAnswers << Dialogs::SaveFileResult { target, filterIndex };
        QTest::mouseClick(m_q.window->ToolButtonEnregistrer, Qt::LeftButton);
        QVERIFY(QFile::exists(filterIndex == 1 ? target : target + QStringLiteral(".txt")));
    }
    QVERIFY(m_q.dialogs->messageTexts().isEmpty());
    QCOMPARE(shown.labels, QStringList());
}

// Work that reports every few tens of milliseconds (a server that is slow to send its
// rows) gets its dialog at the first report past the delay, not some reports later.
void TestWorkProgress::sparseReportsShowDialogWhenDue_data()
{
    QTest::addColumn<int>("firstMs");
    QTest::addColumn<int>("everyMs");
    QTest::newRow("every 40 ms") << 40 << 40;
    QTest::newRow("a tick just before the time") << int(WorkProgress::kShowAfterMs) - 30 << 40;
}

void TestWorkProgress::sparseReportsShowDialogWhenDue()
{
    QFETCH(int, firstMs);
    QFETCH(int, everyMs);
    // Before the work and before each report, the vector registers are left as the
    // window's widgets leave them: the work starts with them clean, and the report
    // that shows the dialog leaves them clean too.
    dirtyVectorRegisters();
    QCOMPARE(VectorState::upperInUse(), VectorState::canTell());
    WorkProgress progress(nullptr, QStringLiteral("Requête SQL"), QStringLiteral("Exécution de la requête..."));
    QVERIFY(!VectorState::upperInUse());
    QElapsedTimer clock;
    clock.start();
    QTest::qSleep(firstMs);
    qint64 rows = 1;
    dirtyVectorRegisters();
    QVERIFY(progress.report(rows));
    bool due = clock.elapsed() >= WorkProgress::kShowAfterMs;
    while (!due) {
        QTest::qSleep(everyMs);
        due = clock.elapsed() >= WorkProgress::kShowAfterMs;
        dirtyVectorRegisters();
        QVERIFY(progress.report(++rows));
    }
    QVERIFY(progress.dialog());
    QVERIFY(progress.dialog()->isVisible());
    QVERIFY(!VectorState::upperInUse());
}

QTEST_MAIN(TestWorkProgress)
#include "tst_workprogress.moc"
