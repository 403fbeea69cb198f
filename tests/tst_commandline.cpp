#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

// The real program's command line: --help and --version answered on standard output
// without a window, anything else refused on standard error, on an empty home folder.
class TestCommandLine : public QObject
{
    Q_OBJECT
private slots:
    void programAnswersWithoutWindow_data();
    void programAnswersWithoutWindow();
};

namespace
{
// A platform that does not exist: a program that made its application object with
// it would stop at once, before any window, with Qt's fatal error.
const QString kNoDisplay = QStringLiteral("velosql-no-display");
const QString kOffscreen = QStringLiteral("offscreen");

const QString kHelp = QStringLiteral("^Usage : VeloSQL \\[option\\]\n"
                                     "Requêtes SQL ad hoc sur la base de données du cabinet.*\n"
                                     "(.*\n)*"
                                     "  -h, --help     affiche cette aide et quitte\n"
                                     "  -v, --version  affiche la version et quitte\n"
                                     "(.*\n)*"
                                     "Alias des bases : %ALIASES%\n"
                                     "Base de démonstration \\(alias Velorin sans section\\) : %DEMO%\n$");
const QString kVersion
    = QStringLiteral("^VeloSQL ") + QRegularExpression::escape(QStringLiteral(VELOSQL_VERSION)) + QStringLiteral("\n$");

QString refused(const QString& what, const QString& argument)
{
    return QStringLiteral("^VeloSQL : %1 : « %2 » ; VeloSQL --help donne les options\\.\n$")
        .arg(what, QRegularExpression::escape(argument));
}
} // namespace

void TestCommandLine::programAnswersWithoutWindow_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("platform");
    QTest::addColumn<QString>("standardOutput"); // empty: a pipe; otherwise a file to write into
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");
    const QString none = QStringLiteral("^$");
    QTest::newRow("--help") << QStringList { "--help" } << kNoDisplay << QString() << 0 << kHelp << none;
    QTest::newRow("-h") << QStringList { "-h" } << kNoDisplay << QString() << 0 << kHelp << none;
    QTest::newRow("--version") << QStringList { "--version" } << kNoDisplay << QString() << 0 << kVersion << none;
    QTest::newRow("-v") << QStringList { "-v" } << kNoDisplay << QString() << 0 << kVersion << none;
    QTest::newRow("help asked twice") << QStringList { "--help", "-h" } << kNoDisplay << QString() << 0 << kHelp
                                      << none;
    QTest::newRow("Qt's own option before --help")
        << QStringList { "-platform", "offscreen", "--help" } << kNoDisplay << QString() << 0 << kHelp << none;
    QTest::newRow("Qt's one-word option is not -v")
        << QStringList { "-reverse", "--version" } << kOffscreen << QString() << 0 << kVersion << none;
    QTest::newRow("unknown long option") << QStringList { "--aide" } << kOffscreen << QString() << 2 << none
                                         << refused(QStringLiteral("option inconnue"), QStringLiteral("--aide"));
    QTest::newRow("unknown short option") << QStringList { "-x" } << kOffscreen << QString() << 2 << none
                                          << refused(QStringLiteral("option inconnue"), QStringLiteral("-x"));
    QTest::newRow("unknown option beside --help")
        << QStringList { "--help", "--bogus" } << kOffscreen << QString() << 2 << none
        << refused(QStringLiteral("option inconnue"), QStringLiteral("--bogus"));
    QTest::newRow("value given to --version")
        << QStringList { "--version=2" } << kOffscreen << QString() << 2 << none
        << refused(QStringLiteral("cette option ne prend pas de valeur"), QStringLiteral("--version=2"));
    QTest::newRow("a database named as argument")
        << QStringList { "cabinet.sqlite" } << kOffscreen << QString() << 2 << none
        << refused(QStringLiteral("argument inattendu"), QStringLiteral("cabinet.sqlite"));
#ifndef Q_OS_WIN
    // An answer that cannot be written is no success.
    QTest::newRow("help into a full device")
        << QStringList { "--help" } << kNoDisplay << QStringLiteral("/dev/full") << 1 << none
        << QStringLiteral("^VeloSQL : écriture impossible sur la sortie standard\\.\n$");
#endif
}

void TestCommandLine::programAnswersWithoutWindow()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, platform);
    QFETCH(QString, standardOutput);
    QFETCH(int, status);
    QFETCH(QString, out);
    QFETCH(QString, err);
    QTemporaryDir home;
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home.path());
    for (const char* name : { "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME" })
        env.remove(QString::fromLatin1(name));
    // A folder of the user's own, so that Qt has nothing to say about it.
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.path());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), platform);
    program.setProcessEnvironment(env);
    if (!standardOutput.isEmpty())
        program.setStandardOutputFile(standardOutput);
    QElapsedTimer clock;
    clock.start();
    program.start(QStringLiteral(VELOSQL_EXECUTABLE), arguments);
    QVERIFY(program.waitForStarted());
    // A program that made its windows runs until they are closed.
    const bool ended = program.waitForFinished(20000);
    if (!ended) {
        program.kill();
        program.waitForFinished();
    }
    QString stdOut = QString::fromUtf8(program.readAllStandardOutput());
    QString stdErr = QString::fromUtf8(program.readAllStandardError());
#ifdef Q_OS_WIN
    // The C run-time writes its standard streams in text mode there.
    stdOut.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    stdErr.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
#endif
    const QByteArray seen = QStringLiteral("after %1 ms, status %2\nout: %3\nerr: %4")
                                .arg(clock.elapsed())
                                .arg(program.exitCode())
                                .arg(stdOut, stdErr)
                                .toUtf8();
    QVERIFY2(ended && program.exitStatus() == QProcess::NormalExit, seen.constData());
    QVERIFY2(program.exitCode() == status, seen.constData());
#ifdef Q_OS_WIN
    // Windows keeps them where the system says (%LOCALAPPDATA%, %APPDATA%), whatever HOME is.
    const QString aliases = QStringLiteral(".*\\\\VeloSQL\\\\aliases\\.ini");
    const QString demo = QStringLiteral(".*\\\\VeloSQL\\\\Velorin\\.sqlite");
#else
    const QString aliases = QRegularExpression::escape(home.filePath(QStringLiteral(".config/VeloSQL/aliases.ini")));
    const QString demo
        = QRegularExpression::escape(home.filePath(QStringLiteral(".local/share/VeloSQL/Velorin.sqlite")));
#endif
    const QString expectedOut
        = QString(out).replace(QStringLiteral("%ALIASES%"), aliases).replace(QStringLiteral("%DEMO%"), demo);
    QVERIFY2(QRegularExpression(expectedOut).match(stdOut).hasMatch(), seen.constData());
    QVERIFY2(QRegularExpression(err).match(stdErr).hasMatch(), seen.constData());
#ifndef Q_OS_WIN
    // The query window's settings table was never opened: the demo database that its
    // first opening creates is not there. (Windows keeps it in %APPDATA%, whatever HOME is.)
    QVERIFY(!QFile::exists(home.filePath(QStringLiteral(".local/share/VeloSQL/Velorin.sqlite"))));
#endif
}

QTEST_MAIN(TestCommandLine)
#include "tst_commandline.moc"
