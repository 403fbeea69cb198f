#include "Raised.h"
#include "ScriptedDialogs.h"
#include "TestDatabase.h"
#include "app/ClipBoard.h"
#include "app/Intro.h"
#include "app/SQL.h"
#include "app/VeloSQL.h"
#include "data/Query.h"
#include "data/Table.h"
#include "engine/Databases.h"
#include "ui/widgets/OuterGeometry.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFontInfo>
#include <QLabel>
#include <QLoggingCategory>
#include <QMoveEvent>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QSqlDatabase>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

// Start-up and end: the three windows, the splash's time, start-up failures,
// and the real program started on an empty home folder.
class TestStartup : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();

    void windowsAreCreatedHiddenWithSettingsOpen();
    void splashGivesWayAfterItsTimeOnce();
    void slowBuildingShowsQueryWindowAtOnce_data();
    void slowBuildingShowsQueryWindowAtOnce();
    void splashOuterRectIncludesFrame();
    void windowsKeepTheirSize();
    void splashTextFitsInTheDesignedFace();
    void windowsKeepTheirSizeWhateverTheFonts_data();
    void windowsKeepTheirSizeWhateverTheFonts();
    void closingSplashEndsProgram();
    void startupFailureShowsBoxAndExitsWithOne_data();
    void startupFailureShowsBoxAndExitsWithOne();
    void serverRefusingConnectionFailsStartup();
    void failureBoxOpenPastSplashTimeShowsNoWindow();
    void aliasToMissingSqliteFileCreatesNothing_data();
    void aliasToMissingSqliteFileCreatesNothing();
    void qsqliteAliasOpensExistingFile();
    void unreadableAliasesFileFailsStartup_data();
    void unreadableAliasesFileFailsStartup();
    void aliasSectionMatchesWithoutLetterCase();
    void aliasesFileReadAsAdministratorsWriteIt_data();
    void aliasesFileReadAsAdministratorsWriteIt();
    void unknownDriverFailsWithoutLogin();
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
    TFicheIntro::setSplashInterval(std::nullopt);
}

namespace
{
// The splash's time in the tests that wait for it to pass.
constexpr int kShortSplashMs = 100;
} // namespace

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

void TestStartup::splashGivesWayAfterItsTimeOnce()
{
    TestDatabase db;
    TFicheIntro::setSplashInterval(kShortSplashMs);
    QElapsedTimer clock;
    clock.start();
    VeloSQL::createWindows();
    FicheIntro->show();
    QVERIFY(QTest::qWaitForWindowExposed(FicheIntro));
    QTRY_VERIFY_WITH_TIMEOUT(FicheSQL->isVisible(), 5000);
    const qint64 elapsed = clock.elapsed();
    QVERIFY2(elapsed >= kShortSplashMs - 1, qPrintable(QString::number(elapsed)));
    QVERIFY(!FicheIntro->isVisible());
    QVERIFY(!FicheIntro->Timerintro->isActive());
    // The splash is never shown again.
    FicheSQL->hide();
    QTest::qWait(3 * kShortSplashMs);
    QVERIFY(!FicheIntro->isVisible());
    QVERIFY(!FicheSQL->isVisible());
}

void TestStartup::slowBuildingShowsQueryWindowAtOnce_data()
{
    QTest::addColumn<bool>("eventsRun");
    // A login dialog answered at a person's pace: the splash's tick comes inside it.
    QTest::newRow("login dialog runs the event loop") << true;
    // The tick is overdue when the event loop starts.
    QTest::newRow("building without events") << false;
}

void TestStartup::slowBuildingShowsQueryWindowAtOnce()
{
    QFETCH(bool, eventsRun);
    TestDatabase db;
    constexpr int splashMs = 1000;
    TFicheIntro::setSplashInterval(splashMs);
    VeloSQL::createWindows([eventsRun] {
        if (eventsRun)
            QTest::qWait(splashMs + 300);
        else
            QThread::msleep(splashMs + 300);
    });
    QVERIFY(!FicheSQL->isVisible());
    QElapsedTimer clock;
    clock.start();
    FicheIntro->show();
    // The splash gives way at once, well before a second interval could pass.
    QTRY_VERIFY_WITH_TIMEOUT(FicheSQL->isVisible(), splashMs / 2);
    QVERIFY2(clock.elapsed() < splashMs, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(!FicheIntro->isVisible());
    QVERIFY(!FicheIntro->Timerintro->isActive());
}

void TestStartup::splashOuterRectIncludesFrame()
{
    TestDatabase db;
    VeloSQL::createWindows();
    FicheIntro->show();
    QVERIFY(QTest::qWaitForWindowExposed(FicheIntro));
    QCOMPARE(FicheIntro->frameGeometry(), QRect(278, 448, 627, 98));

    // A window manager that frames the window only after showing it (openbox).
    auto* outer = FicheIntro->findChild<OuterGeometry*>();
    QVERIFY(outer);
    QMargins frame(1, 20, 1, 5);
    outer->setFrameReader([&frame] { return frame; });
    QMoveEvent framed(FicheIntro->pos(), FicheIntro->pos());
    QCoreApplication::sendEvent(FicheIntro, &framed);
    QCOMPARE(FicheIntro->geometry(), QRect(279, 468, 625, 73));
}

void TestStartup::windowsKeepTheirSize()
{
    TestDatabase db;
    VeloSQL::createWindows();
    for (QWidget* window : { static_cast<QWidget*>(FicheSQL), static_cast<QWidget*>(FicheClip) }) {
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QCOMPARE(window->size(), QSize(792, 573));
    }
    // The counter takes the width of its longest text, right of the tool bar.
    FicheSQL->LabelCompteurSQL->setText(QStringLiteral("1000000000 enregistrements"));
    FicheSQL->LabelCompteurSQL->adjustSize();
    QVERIFY(FicheSQL->LabelCompteurSQL->geometry().right() < FicheSQL->width());
}

void TestStartup::splashTextFitsInTheDesignedFace()
{
    TestDatabase db;
    VeloSQL::createWindows();
    FicheIntro->show();
    QVERIFY(QTest::qWaitForWindowExposed(FicheIntro));
    const QLabel* label = FicheIntro->LabelSQLintro;
    QCOMPARE(QFontInfo(label->font()).family(), QStringLiteral("P052"));
    QVERIFY(QFontMetrics(label->font()).horizontalAdvance(label->text()) <= label->width());
}

void TestStartup::windowsKeepTheirSizeWhateverTheFonts_data()
{
    QTest::addColumn<QString>("fonts");
    QTest::newRow("designed faces") << "designed";
    QTest::newRow("DejaVu alone") << "dejavu";
}

void TestStartup::windowsKeepTheirSizeWhateverTheFonts()
{
    // A process reads its fonts once: each set gets a run of this program of its own.
    QFETCH(QString, fonts);
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(
        QStringLiteral("FONTCONFIG_FILE"), QStringLiteral(VELOSQL_TEST_FONTS "/%1/fonts.conf").arg(fonts));
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(),
        { QStringLiteral("splashOuterRectIncludesFrame"), QStringLiteral("windowsKeepTheirSize") });
    QVERIFY(child.waitForFinished(120000));
    QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0, child.readAll().constData());
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
#ifdef Q_OS_WIN
    const QString module = QStringLiteral("tst_startup\\.exe"); // Windows names the module with its extension
#else
    const QString module = QStringLiteral("tst_startup");
#endif
    const QRegularExpression form(
        QStringLiteral("^Exception EDatabaseError dans le module %1 à [0-9A-F]{16}\\.\n(.*)$").arg(module),
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
        QTest::qWait(3 * kShortSplashMs);
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
    TFicheIntro::setSplashInterval(kShortSplashMs);
    const int status = VeloSQL::run();
    qInstallMessageHandler(previousHandler);
    QLoggingCategory::setFilterRules(QString());

    QCOMPARE(status, 1);
    QCOMPARE(dialogs.calls.size(), 1);
    QCOMPARE(dialogs.visibleWindows, QStringList());
    QCOMPARE(startupLog, QStringList());
}

namespace
{
// Replaces the alias's section by the given keys.
void writeAlias(const QString& alias, const QList<QPair<QString, QString>>& keys)
{
    QSettings ini(Databases::aliasesFile(), QSettings::IniFormat);
    ini.remove(alias);
    ini.beginGroup(alias);
    for (const auto& [key, value] : keys)
        ini.setValue(key, value);
    ini.endGroup();
    ini.sync();
    Databases::closeAll();
}

// Lets a test tell whether the embedded default was opened in place of an alias.
void removeDefaultDatabase()
{
    QFile::remove(Databases::defaultDatabaseFile(QStringLiteral("Velorin")));
}

// The start-up failure's own message, without the box's first line.
QString failureMessage(const ScriptedDialogs& dialogs)
{
    const QString text = dialogs.calls.value(0).message.text;
    return text.mid(text.indexOf(QLatin1Char('\n')) + 1);
}
} // namespace

void TestStartup::aliasToMissingSqliteFileCreatesNothing_data()
{
    QTest::addColumn<QString>("driver");
    QTest::addColumn<bool>("readOnly");
    QTest::newRow("SQLITE") << "SQLITE" << false;
    QTest::newRow("QSQLITE") << "QSQLITE" << false;
    QTest::newRow("qsqlite in small letters") << "qsqlite" << false;
    QTest::newRow("QSQLITE read-only") << "QSQLITE" << true;
}

void TestStartup::aliasToMissingSqliteFileCreatesNothing()
{
    QFETCH(QString, driver);
    QFETCH(bool, readOnly);
    removeDefaultDatabase();
    TestDatabase db;
    QTemporaryDir folder;
    const QString missing = folder.filePath(QStringLiteral("absent.sqlite"));
    writeAlias(QStringLiteral("Velorin"),
        { { QStringLiteral("driver"), driver }, { QStringLiteral("database"), missing },
            { QStringLiteral("readonly"), readOnly ? QStringLiteral("true") : QStringLiteral("false") } });
    ScriptedDialogs dialogs;
    QCOMPARE(VeloSQL::run(), 1);
    QCOMPARE(dialogs.calls.size(), 1);
    QCOMPARE(failureMessage(dialogs), QStringLiteral("unable to open database file : %1.").arg(missing));
    QCOMPARE(QDir(folder.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
    QVERIFY(!QFile::exists(Databases::defaultDatabaseFile(QStringLiteral("Velorin"))));
}

void TestStartup::qsqliteAliasOpensExistingFile()
{
    TestDatabase db;
    db.exec(QStringLiteral("UPDATE ListBase SET POLICE5 = '#'"));
    writeAlias(QStringLiteral("Velorin"),
        { { QStringLiteral("driver"), QStringLiteral("QSQLITE") }, { QStringLiteral("database"), db.path() } });
    VeloSQL::createWindows();
    QCOMPARE(FicheSQL->TableSQL->FieldByName(QStringLiteral("POLICE5"))->text(), QStringLiteral("#"));
}

void TestStartup::unreadableAliasesFileFailsStartup_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("message");
    QTest::newRow("a folder named aliases.ini")
        << QByteArray() << "Fichier des alias illisible : %1 (c'est un dossier)";
    QTest::newRow("a link to a missing file")
        << QByteArray("->") << "Fichier des alias illisible : %1 (lien vers un fichier absent)";
    QTest::newRow("section without its closing bracket")
        << QByteArray("[Velorin\ndriver=SQLITE\n") << "Fichier des alias mal formé : %1 (ligne 1)";
    QTest::newRow("line without an equals sign")
        << QByteArray("; alias\n\n[Velorin]\ndriver SQLITE\n") << "Fichier des alias mal formé : %1 (ligne 4)";
    QTest::newRow("line without a key") << QByteArray("[Velorin]\n = SQLITE\n")
                                        << "Fichier des alias mal formé : %1 (ligne 2)";
    // No line is set aside: which of two values was meant is not for the program to guess.
    QTest::newRow("key given twice") << QByteArray("[Velorin]\ndriver=SQLITE\ndatabase=/a\ndatabase=/b\n")
                                     << "Fichier des alias mal formé : %1 (ligne 4 : clé « database » répétée)";
    QTest::newRow("key given twice in other letters")
        << QByteArray("[Velorin]\r\ndatabase=/a\r\n  Database = /b\r\n")
        << "Fichier des alias mal formé : %1 (ligne 3 : clé « Database » répétée)";
    QTest::newRow("section given twice")
        << QByteArray("[Velorin]\ndriver=SQLITE\n[Autre]\n[Velorin]\ndatabase=/a\n")
        << "Fichier des alias mal formé : %1 (ligne 4 : section « [Velorin] » répétée, déjà en ligne 1)";
    QTest::newRow("section given twice in other letters")
        << QByteArray("\xEF\xBB\xBF[Velorin]\ndriver=SQLITE\n\n[VELORIN]\n")
        << "Fichier des alias mal formé : %1 (ligne 4 : section « [VELORIN] » répétée, déjà en ligne 1)";
    // A missing "[Velorin]" line must not send the start to the embedded demo database.
    QTest::newRow("key before the first section")
        << QByteArray("; serveur\n driver=QPSQL\nhost=db\n[Autre]\n")
        << "Fichier des alias mal formé : %1 (ligne 2 : clé « driver » hors de toute section)";
    // A password saved in Windows-1252 would not be the one the server knows.
    QTest::newRow("value not in UTF-8") << QByteArray("; r\xE9glages\n[Velorin]\npassword=s\xE9same\n")
                                        << "Fichier des alias mal formé : %1 (ligne 3 : texte qui n'est pas en UTF-8)";
}

void TestStartup::unreadableAliasesFileFailsStartup()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, message);
    removeDefaultDatabase();
    const QString file = Databases::aliasesFile();
    QVERIFY(QDir().mkpath(QFileInfo(file).absolutePath()));
    QFile::remove(file);
    if (content.isEmpty()) {
        QVERIFY(QDir().mkdir(file));
    } else if (content == "->") {
#ifdef Q_OS_WIN
        QSKIP("QFile::link makes a shortcut on Windows, not a symbolic link");
#endif
        QVERIFY(QFile::link(file + QStringLiteral(".absent"), file));
    } else {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
    }
    Databases::closeAll();
    const Raised failure = raised([] { VeloSQL::createWindows(); });
    QDir(file).removeRecursively();
    QFile::remove(file);
    QCOMPARE(failure.kind, QStringLiteral("EDatabaseError"));
    QCOMPARE(failure.message, message.arg(QDir::toNativeSeparators(file)));
    // The embedded default is not opened (nor created) in its place.
    QVERIFY(!QFile::exists(Databases::defaultDatabaseFile(QStringLiteral("Velorin"))));
}

void TestStartup::aliasSectionMatchesWithoutLetterCase()
{
    removeDefaultDatabase();
    TestDatabase db;
    db.exec(QStringLiteral("UPDATE ListBase SET POLICE5 = '#'"));
    // The section in small letters replaces the test's own.
    writeAlias(QStringLiteral("Velorin"), {});
    writeAlias(QStringLiteral("velorin"),
        { { QStringLiteral("driver"), QStringLiteral("SQLITE") }, { QStringLiteral("database"), db.path() } });
    const Raised failure = raised([] { VeloSQL::createWindows(); });
    {
        QSettings ini(Databases::aliasesFile(), QSettings::IniFormat);
        ini.remove(QStringLiteral("velorin"));
    }
    QCOMPARE(failure.message, QString());
    QCOMPARE(FicheSQL->TableSQL->FieldByName(QStringLiteral("POLICE5"))->text(), QStringLiteral("#"));
    QVERIFY(!QFile::exists(Databases::defaultDatabaseFile(QStringLiteral("Velorin"))));
}

void TestStartup::aliasesFileReadAsAdministratorsWriteIt_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("resolved"); // driver|database|user|password ("-": no password key)
    const QString odbc
        = QStringLiteral("DRIVER={PostgreSQL Unicode};SERVER=127.0.0.1;PORT=5432;DATABASE=velorin;BoolsAsChar=0");
    QTest::newRow("connection string without quotes")
        << ("[Velorin]\ndriver=QODBC\ndatabase=" + odbc + "\nuser=secretariat\n").toUtf8()
        << "QODBC|" + odbc + "|secretariat|-";
    QTest::newRow("connection string in double quotes")
        << ("[Velorin]\ndriver=QODBC\ndatabase=\"" + odbc + "\"\nuser=\"secretariat\"\n").toUtf8()
        << "QODBC|" + odbc + "|secretariat|-";
    QTest::newRow("Windows path keeps its backslashes")
        << QByteArray("[Velorin]\r\ndriver=SQLITE\r\ndatabase=C:\\Cabinet\\t\\Velorin.sqlite\r\n")
        << "SQLITE|C:\\Cabinet\\t\\Velorin.sqlite||-";
    QTest::newRow("byte order mark") << QByteArray("\xEF\xBB\xBF[Velorin]\ndriver=QPSQL\ndatabase=velorin\n")
                                     << "QPSQL|velorin||-";
    QTest::newRow("semicolon and hash in a value")
        << QByteArray("[Velorin]\ndriver=QPSQL\nuser=sécrétariat #2\npassword=a;b#c\n")
        << "QPSQL||sécrétariat #2|a;b#c";
    QTest::newRow("indented comments and blanks around the equals sign")
        << QByteArray("  ; [Autre]\n[ Velorin ]\n\tdriver = QPSQL \n\t# user=x\n  password =  \n") << "QPSQL|||";
    QTest::newRow("quotes not around the whole value stay")
        << QByteArray("[Velorin]\ndriver=QPSQL\nuser=\"a\npassword=\"a\"b\"\n") << "QPSQL||\"a|a\"b";
    QTest::newRow("keys in other letters")
        << QByteArray("[velorin]\nDriver=QPSQL\nDATABASE=velorin\nUser=x\n") << "QPSQL|velorin|x|-";
}

void TestStartup::aliasesFileReadAsAdministratorsWriteIt()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, resolved);
    const QString file = Databases::aliasesFile();
    QVERIFY(QDir().mkpath(QFileInfo(file).absolutePath()));
    {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(content);
    }
    keepAliasesPrivate();
    AliasSettings s;
    const Raised failure = raised([&] { s = Databases::resolve(QStringLiteral("Velorin")); });
    QFile::remove(file);
    QCOMPARE(failure.message, QString());
    QVERIFY(s.configured);
    QCOMPARE(QStringList({ s.driver, s.database, s.user, s.hasPassword ? s.password : QStringLiteral("-") })
                 .join(QLatin1Char('|')),
        resolved);
}

void TestStartup::unknownDriverFailsWithoutLogin()
{
    TestDatabase db;
    writeAlias(QStringLiteral("Velorin"),
        { { QStringLiteral("driver"), QStringLiteral("NOPE") }, { QStringLiteral("database"), db.path() } });
    ScriptedDialogs dialogs;
    QCOMPARE(VeloSQL::run(), 1);
    QCOMPARE(dialogs.callsOf(QStringLiteral("login")).size(), 0);
    QCOMPARE(dialogs.calls.size(), 1);
    const QString message = failureMessage(dialogs);
    QVERIFY2(message.startsWith(
                 QStringLiteral("Pilote de base de données introuvable : NOPE (pilotes disponibles : SQLITE, QSQLITE")),
        qPrintable(message));
    for (const QString& driver : QSqlDatabase::drivers())
        QVERIFY2(message.contains(driver), qPrintable(driver));
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
#ifdef Q_OS_WIN
    // Windows keeps the data folder where the system says (%APPDATA%), whatever HOME is:
    // under Wine, in the test run's own prefix.
    const QString database = QDir(qEnvironmentVariable("APPDATA")).filePath(QStringLiteral("VeloSQL/Velorin.sqlite"));
#else
    const QString database = home.filePath(QStringLiteral(".local/share/VeloSQL/Velorin.sqlite"));
#endif
    QVERIFY2(QFile::exists(database), qPrintable(database));
#ifdef Q_OS_WIN
    // terminate() asks a program's windows to close: offscreen ones are not there to ask.
    program.kill();
#else
    program.terminate();
#endif
    QVERIFY(program.waitForFinished(5000));
}

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
