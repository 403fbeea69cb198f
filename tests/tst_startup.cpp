#include "ClipBoard.h"
#include "Databases.h"
#include "Intro.h"
#include "Query.h"
#include "SQL.h"
#include "ScriptedDialogs.h"
#include "Table.h"
#include "TestDatabase.h"
#include "VeloSQL.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLoggingCategory>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

// Start-up and end: the three windows, the splash's two seconds, start-up failures,
// and the real program started on an empty home folder.
class TestStartup : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();

    void windowsAreCreatedHiddenWithSettingsOpen();
    void splashGivesWayAfterTwoSecondsOnce();
    void closingSplashEndsProgram();
    void startupFailureShowsBoxAndExitsWithOne_data();
    void startupFailureShowsBoxAndExitsWithOne();
    void serverRefusingConnectionFailsStartup();
    void failureBoxOpenPastSplashTimeShowsNoWindow();
    void realProgramCreatesDefaultDatabaseAndShowsQueryWindow();
};

void TestStartup::initTestCase()
{
    initTestEnvironment();
    VeloSQL::initApplication();
}

void TestStartup::cleanup()
{
    VeloSQL::destroyWindows();
}

void TestStartup::windowsAreCreatedHiddenWithSettingsOpen()
{
    TestDatabase db;
    VeloSQL::createWindows();
    QVERIFY(FicheIntro && FicheSQL && FicheClip);
    QVERIFY(FicheIntro->Timerintro->isActive());
    QCOMPARE(FicheIntro->Timerintro->interval(), 2000);
    QCOMPARE(FicheIntro->windowTitle(), QStringLiteral("Velorin"));
    QVERIFY(!FicheIntro->isVisible());
    QVERIFY(!FicheSQL->isVisible());
    QVERIFY(!FicheClip->isVisible());
    QVERIFY(FicheSQL->TableSQL->active());
    QVERIFY(!FicheSQL->QuerySQL->active());
}

void TestStartup::splashGivesWayAfterTwoSecondsOnce()
{
    TestDatabase db;
    QElapsedTimer clock;
    clock.start();
    VeloSQL::createWindows();
    FicheIntro->show();
    QVERIFY(QTest::qWaitForWindowExposed(FicheIntro));
    QTRY_VERIFY_WITH_TIMEOUT(FicheSQL->isVisible(), 5000);
    const qint64 elapsed = clock.elapsed();
    QVERIFY2(elapsed >= 1990, qPrintable(QString::number(elapsed)));
    QVERIFY(!FicheIntro->isVisible());
    QVERIFY(!FicheIntro->Timerintro->isActive());
    // The splash is never shown again.
    FicheSQL->hide();
    QTest::qWait(2200);
    QVERIFY(!FicheIntro->isVisible());
    QVERIFY(!FicheSQL->isVisible());
}

void TestStartup::closingSplashEndsProgram()
{
    TestDatabase db;
    VeloSQL::createWindows();
    FicheIntro->show();
    QTimer::singleShot(100, FicheIntro, [] { FicheIntro->close(); });
    QElapsedTimer clock;
    clock.start();
    QApplication::exec();
    QVERIFY(clock.elapsed() < 1900);
    QVERIFY(!FicheSQL->isVisible());
}

void TestStartup::startupFailureShowsBoxAndExitsWithOne_data()
{
    QTest::addColumn<QString>("content");
    QTest::addColumn<QString>("message");
    QTest::newRow("missing file") << "missing"
                                  << "unable to open database file : %1.";
    QTest::newRow("not a database") << "garbage"
                                    << "file is not a database : %1.";
    QTest::newRow("no settings table") << "empty"
                                       << "no such table: ListBase.";
}

void TestStartup::startupFailureShowsBoxAndExitsWithOne()
{
    QFETCH(QString, content);
    QFETCH(QString, message);
    TestDatabase db(TestDatabase::Empty);
    if (content == QLatin1String("missing")) {
        QFile::remove(db.path());
    } else if (content == QLatin1String("garbage")) {
        QFile f(db.path());
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(QByteArray(3000, 'x'));
    }
    const QByteArray before = [&] {
        QFile f(db.path());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("absent");
    }();

    ScriptedDialogs dialogs;
    QCOMPARE(VeloSQL::run(), 1);
    QCOMPARE(dialogs.calls.size(), 1);
    const Dialogs::MessageBox box = dialogs.calls[0].message;
    QCOMPARE(box.caption, QStringLiteral("Erreur de l'application"));
    QCOMPARE(box.icon, Dialogs::Icon::Error);
    const QRegularExpression form(
        QStringLiteral("^Exception EDatabaseError dans le module tst_startup à [0-9A-F]{16}\\.\n(.*)$"),
        QRegularExpression::DotMatchesEverythingOption);
    const auto match = form.match(box.text);
    QVERIFY2(match.hasMatch(), qPrintable(box.text));
    QCOMPARE(match.captured(1), message.contains(QLatin1String("%1")) ? message.arg(db.path()) : message);
    QVERIFY(!FicheIntro && !FicheSQL && !FicheClip);

    // The file is never created, changed or repaired.
    QFile after(db.path());
    QCOMPARE(after.open(QIODevice::ReadOnly) ? after.readAll() : QByteArray("absent"), before);
}

void TestStartup::serverRefusingConnectionFailsStartup()
{
    TestDatabase db;
    {
        // A PostgreSQL server that is not there: nothing listens on port 1.
        QSettings ini(Databases::aliasesFile(), QSettings::IniFormat);
        ini.beginGroup(QStringLiteral("Velorin"));
        ini.setValue(QStringLiteral("driver"), QStringLiteral("QPSQL"));
        ini.setValue(QStringLiteral("host"), QStringLiteral("127.0.0.1"));
        ini.setValue(QStringLiteral("port"), 1);
        ini.setValue(QStringLiteral("database"), QStringLiteral("velorin"));
        ini.setValue(QStringLiteral("user"), QStringLiteral("secretariat"));
        ini.setValue(QStringLiteral("password"), QStringLiteral("secret"));
        ini.endGroup();
    }
    Databases::closeAll();
    ScriptedDialogs dialogs;
    QCOMPARE(VeloSQL::run(), 1);
    QCOMPARE(dialogs.calls.size(), 1);
    QCOMPARE(dialogs.calls[0].message.caption, QStringLiteral("Erreur de l'application"));
    QVERIFY2(dialogs.calls[0].message.text.contains(QLatin1String("refused"))
            || dialogs.calls[0].message.text.contains(QLatin1String("Pilote")),
        qPrintable(dialogs.calls[0].message.text));
}

namespace
{
// A user who reads the failure box for longer than the splash lasts: the box's own
// event loop runs meanwhile. Records the windows visible at the end of the reading.
class SlowReader : public ScriptedDialogs
{
public:
    QStringList visibleWindows;
    int messageBox(QWidget* parent, const MessageBox& box) override
    {
        QTest::qWait(2500);
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible())
                visibleWindows << w->objectName();
        return ScriptedDialogs::messageBox(parent, box);
    }
};

QStringList startupLog;
QtMessageHandler previousHandler = nullptr;
void recordStartupLog(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (qstrcmp(context.category, "velosql.startup") == 0)
        startupLog << message;
    else if (previousHandler)
        previousHandler(type, context, message);
}
} // namespace

void TestStartup::failureBoxOpenPastSplashTimeShowsNoWindow()
{
    // The settings table is missing: the query window cannot be created.
    TestDatabase db(TestDatabase::Empty);
    QLoggingCategory::setFilterRules(QStringLiteral("velosql.startup.info=true"));
    startupLog.clear();
    previousHandler = qInstallMessageHandler(recordStartupLog);
    SlowReader dialogs;
    const int status = VeloSQL::run();
    qInstallMessageHandler(previousHandler);
    QLoggingCategory::setFilterRules(QString());

    QCOMPARE(status, 1);
    QCOMPARE(dialogs.calls.size(), 1);
    QCOMPARE(dialogs.visibleWindows, QStringList());
    QCOMPARE(startupLog, QStringList());
}

void TestStartup::realProgramCreatesDefaultDatabaseAndShowsQueryWindow()
{
    QTemporaryDir home;
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home.path());
    for (const char* name : { "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME" })
        env.remove(QString::fromLatin1(name));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("velosql.startup.info=true"));
    program.setProcessEnvironment(env);
    program.setProcessChannelMode(QProcess::MergedChannels);
    program.start(QStringLiteral(VELOSQL_EXECUTABLE), {});
    QVERIFY(program.waitForStarted());
    QByteArray output;
    QTRY_VERIFY_WITH_TIMEOUT((output += program.readAll()).contains("query window shown"), 15000);
    QVERIFY(QFile::exists(home.filePath(QStringLiteral(".local/share/VeloSQL/Velorin.sqlite"))));
    program.terminate();
    QVERIFY(program.waitForFinished(5000));
}

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
