#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>

// The Debian package: made by cpack from this build, unpacked with dpkg-deb, its files,
// its control fields and the program it holds, started on an empty home folder.
class TestPackage : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();

    void packageHoldsFile_data();
    void packageHoldsFile();
    void packageHoldsNothingElse();
    void changelogEntryIsPackageVersion();
    void controlField_data();
    void controlField();
    void packagedProgramCreatesDefaultDatabase_data();
    void packagedProgramCreatesDefaultDatabase();
    void lintianReportsNoError();

private:
    QTemporaryDir m_work;
    QString m_deb;
    QString m_root;
};

namespace
{
struct Run {
    int status = -1;
    QByteArray out;
    QByteArray err;
    QString error; // why the program did not run to its end
};

Run run(const QString& program, const QStringList& arguments, int timeoutMs = 120000)
{
    Run result;
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForStarted()) {
        result.error = QStringLiteral("%1 did not start: %2").arg(program, process.errorString());
        return result;
    }
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        result.error = QStringLiteral("%1 did not end within %2 ms").arg(program).arg(timeoutMs);
    }
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    if (result.error.isEmpty() && process.exitStatus() == QProcess::NormalExit)
        result.status = process.exitCode();
    else if (result.error.isEmpty())
        result.error = QStringLiteral("%1 crashed").arg(program);
    return result;
}

QString describe(const Run& r)
{
    return r.error + QLatin1Char('\n') + QString::fromUtf8(r.out + r.err);
}

// A file of the package and where its content comes from in the source tree (empty:
// built). Compressed files are compared once uncompressed.
struct PackagedFile {
    const char* name;
    const char* path;
    const char* source;
    bool compressed;
    bool executable;
};

constexpr PackagedFile kPackagedFiles[] = {
    { "program", "usr/bin/VeloSQL", "", false, true },
    { "desktop entry", "usr/share/applications/velosql.desktop", "resources/velosql.desktop", false, false },
    { "icon", "usr/share/icons/hicolor/scalable/apps/velosql.svg", "resources/icons/velosql.svg", false, false },
    { "copyright", "usr/share/doc/velosql/copyright", "resources/package/copyright", false, false },
    { "changelog", "usr/share/doc/velosql/changelog.gz", "resources/package/changelog", true, false },
    { "manual page", "usr/share/man/man1/VeloSQL.1.gz", "resources/package/VeloSQL.1", true, false },
};

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray gunzip(const QString& path)
{
    const Run r = run(QStringLiteral("gzip"), { QStringLiteral("-dc"), path });
    return r.status == 0 ? r.out : QByteArray();
}

// The number of rows of a table of a SQLite file, read without changing the file;
// -1 when the file or the table cannot be read.
qint64 rowCount(const QString& file, const QByteArray& table)
{
    qint64 rows = -1;
    sqlite3* db = nullptr;
    sqlite3_stmt* st = nullptr;
    const QByteArray count = "SELECT COUNT(*) FROM " + table;
    if (sqlite3_open_v2(QFile::encodeName(file).constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK
        && sqlite3_prepare_v2(db, count.constData(), -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW)
        rows = sqlite3_column_int64(st, 0);
    sqlite3_finalize(st);
    sqlite3_close(db);
    return rows;
}
} // namespace

void TestPackage::initTestCase()
{
    QVERIFY(m_work.isValid());
    const QString out = m_work.filePath(QStringLiteral("out"));
    // The package goes into a folder of the test's own, never over one the user made.
    const Run made = run(QStringLiteral(VELOSQL_CPACK),
        { QStringLiteral("-G"), QStringLiteral("DEB"), QStringLiteral("--config"), QStringLiteral(VELOSQL_CPACK_CONFIG),
            QStringLiteral("-B"), out },
        300000);
    QVERIFY2(made.status == 0, qPrintable(describe(made)));

    const QString arch
        = QString::fromUtf8(run(QStringLiteral("dpkg"), { QStringLiteral("--print-architecture") }).out).trimmed();
    QVERIFY(!arch.isEmpty());
    const QString name = QStringLiteral("velosql_%1_%2.deb").arg(QStringLiteral(VELOSQL_VERSION), arch);
    QCOMPARE(QDir(out).entryList({ QStringLiteral("*.deb") }, QDir::Files), QStringList { name });
    m_deb = QDir(out).filePath(name);

    m_root = m_work.filePath(QStringLiteral("root"));
    const Run unpacked = run(QStringLiteral("dpkg-deb"), { QStringLiteral("-x"), m_deb, m_root });
    QVERIFY2(unpacked.status == 0, qPrintable(describe(unpacked)));
}

void TestPackage::packageHoldsFile_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("source");
    QTest::addColumn<bool>("compressed");
    QTest::addColumn<bool>("executable");
    for (const PackagedFile& f : kPackagedFiles)
        QTest::newRow(f.name) << QString::fromLatin1(f.path) << QString::fromLatin1(f.source) << f.compressed
                              << f.executable;
}

void TestPackage::packageHoldsFile()
{
    QFETCH(QString, path);
    QFETCH(QString, source);
    QFETCH(bool, compressed);
    QFETCH(bool, executable);
    const QString file = QDir(m_root).filePath(path);
    const QFileInfo info(file);
    QVERIFY2(info.isFile() && !info.isSymLink(), qPrintable(file));
    QCOMPARE(info.isExecutable(), executable);
    // Readable by everyone, writable by its owner alone.
    const QFile::Permissions mode = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther
        | (executable ? QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther : QFile::Permissions());
    QCOMPARE(info.permissions() & ~(QFile::ReadUser | QFile::WriteUser | QFile::ExeUser), mode);
    if (source.isEmpty())
        return;
    const QByteArray expected = readFile(QStringLiteral(VELOSQL_SOURCE_DIR "/") + source);
    QVERIFY(!expected.isEmpty());
    QCOMPARE(compressed ? gunzip(file) : readFile(file), expected);
}

void TestPackage::packageHoldsNothingElse()
{
    QStringList expected;
    for (const PackagedFile& f : kPackagedFiles)
        expected << QString::fromLatin1(f.path);
    QStringList found;
    QDirIterator it(m_root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        found << QDir(m_root).relativeFilePath(it.next());
    expected.sort();
    found.sort();
    QCOMPARE(found, expected);
}

void TestPackage::changelogEntryIsPackageVersion()
{
    const QByteArray changelog = gunzip(QDir(m_root).filePath(QStringLiteral("usr/share/doc/velosql/changelog.gz")));
    const QByteArray first = changelog.left(changelog.indexOf('\n'));
    const Run version = run(QStringLiteral("dpkg-deb"), { QStringLiteral("-f"), m_deb, QStringLiteral("Version") });
    QVERIFY2(version.status == 0, qPrintable(describe(version)));
    const QString entry = QStringLiteral("^velosql \\(%1\\) [a-zA-Z-]+; urgency=[a-z]+$")
                              .arg(QRegularExpression::escape(QString::fromUtf8(version.out.trimmed())));
    QVERIFY2(QRegularExpression(entry).match(QString::fromUtf8(first)).hasMatch(), first.constData());
}

void TestPackage::controlField_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("pattern");
    QTest::newRow("package name") << "Package"
                                  << "^velosql$";
    QTest::newRow("version") << "Version" << QStringLiteral("^%1$").arg(QRegularExpression::escape(VELOSQL_VERSION));
    // The libraries the program links, found by dpkg-shlibdeps with their versions.
    QTest::newRow("C library") << "Depends"
                               << "(^|, )libc6 \\(>= [^)]+\\)";
    QTest::newRow("Qt widgets") << "Depends"
                                << "(^|, )libqt6widgets6 \\(>= [^)]+\\)";
    QTest::newRow("Qt printing") << "Depends"
                                 << "(^|, )libqt6printsupport6 \\(>= [^)]+\\)";
    QTest::newRow("Qt SQL") << "Depends"
                            << "(^|, )libqt6sql6 \\(>= [^)]+\\)";
    QTest::newRow("SQLite") << "Depends"
                            << "(^|, )libsqlite3-0 \\(>= [^)]+\\)";
    QTest::newRow("the system's keyring") << "Depends"
                                          << "(^|, )libqt6keychain1 \\(>= [^)]+\\)";
#ifdef VELOSQL_CHARTS
    QTest::newRow("Qt Charts, which draws the result's chart") << "Depends"
                                                             << "(^|, )libqt6charts6 \\(>= [^)]+\\)";
#endif
    QTest::newRow("the Secret Service's client, loaded when needed") << "Recommends"
                                                                     << "(^|, )libsecret-1-0(,|$)";
    // Loaded as a plug-in, so no library dependency names it.
    QTest::newRow("SVG plug-ins") << "Depends"
                                  << "(^|, )libqt6svg6(,|$)";
    QTest::newRow("synopsis") << "Description"
                              << "^[a-z][^\\n]{10,78}\\n [^\\n]+";
}

void TestPackage::controlField()
{
    QFETCH(QString, field);
    QFETCH(QString, pattern);
    const Run r = run(QStringLiteral("dpkg-deb"), { QStringLiteral("-f"), m_deb, field });
    QVERIFY2(r.status == 0, qPrintable(describe(r)));
    const QString value = QString::fromUtf8(r.out).trimmed();
    QVERIFY2(QRegularExpression(pattern).match(value).hasMatch(), qPrintable(field + QStringLiteral(": ") + value));
}

void TestPackage::packagedProgramCreatesDefaultDatabase_data()
{
    QTest::addColumn<bool>("xdgFolders");
    QTest::addColumn<QString>("database");
    QTest::newRow("home alone") << false << ".local/share/VeloSQL/Velorin.sqlite";
    QTest::newRow("XDG folders set") << true << "data/VeloSQL/Velorin.sqlite";
}

void TestPackage::packagedProgramCreatesDefaultDatabase()
{
    QFETCH(bool, xdgFolders);
    QFETCH(QString, database);
    QTemporaryDir home;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home.path());
    const QList<QPair<QString, QString>> xdg = { { QStringLiteral("XDG_DATA_HOME"), QStringLiteral("data") },
        { QStringLiteral("XDG_CONFIG_HOME"), QStringLiteral("config") },
        { QStringLiteral("XDG_CACHE_HOME"), QStringLiteral("cache") } };
    for (const auto& [name, folder] : xdg) {
        env.remove(name);
        if (xdgFolders)
            env.insert(name, home.filePath(folder));
    }
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("velosql.startup.info=true"));

    QProcess program;
    program.setProcessEnvironment(env);
    program.setProcessChannelMode(QProcess::MergedChannels);
    program.setWorkingDirectory(home.path());
    program.start(QDir(m_root).filePath(QStringLiteral("usr/bin/VeloSQL")), {});
    QVERIFY2(program.waitForStarted(), qPrintable(program.errorString()));
    QByteArray output;
    QTRY_VERIFY2_WITH_TIMEOUT(
        (output += program.readAll()).contains("query window shown") || program.state() == QProcess::NotRunning,
        output.constData(), 20000);
    QVERIFY2(program.state() == QProcess::Running, (output + program.readAll()).constData());
    program.terminate();
    QVERIFY(program.waitForFinished(5000));

    // The settings table with its one row, and the demo table.
    QCOMPARE(rowCount(home.filePath(database), "ListBase"), 1);
    QCOMPARE(rowCount(home.filePath(database), "PaBase"), 200);
}

void TestPackage::lintianReportsNoError()
{
    // Among lintian's errors: a program not stripped, a copyright file missing or not
    // machine-readable, no changelog. --tag-display-limit 0 lists every finding.
    const Run r
        = run(QStringLiteral("lintian"), { QStringLiteral("--tag-display-limit"), QStringLiteral("0"), m_deb }, 300000);
    QVERIFY2(r.error.isEmpty(), qPrintable(r.error + QStringLiteral(" (bash scripts/setup installs lintian)")));
    const QString report = QString::fromUtf8(r.out);
    for (const QString& line : report.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        qInfo("%s", qPrintable(line));
    QVERIFY2(!QRegularExpression(QStringLiteral("^E: "), QRegularExpression::MultilineOption).match(report).hasMatch(),
        qPrintable(report));
    QVERIFY2(r.status == 0, qPrintable(describe(r)));
}

QTEST_GUILESS_MAIN(TestPackage)
#include "tst_package.moc"
