#include "PostgresServer.h"
#include "Raised.h"
#include "TestDatabase.h"
#include "engine/AliasSecurity.h"
#include "engine/Databases.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTest>
#include <memory>

// What keeps an alias's secrets: the link to a server off this machine encrypted unless
// the alias says otherwise, and no password used from an aliases.ini that others can
// read; against throw-away servers with TLS and without, by both drivers.
class TestAliasSecurity : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();

    void localHostsAreThisMachine_data();
    void localHostsAreThisMachine();
    void linkOffThisMachineIsEncryptedByDefault_data();
    void linkOffThisMachineIsEncryptedByDefault();
    void everyPasswordOthersCanReadIsSetAside_data();
    void everyPasswordOthersCanReadIsSetAside();

    void serverWithoutTlsIsRefusedOffThisMachine_data();
    void serverWithoutTlsIsRefusedOffThisMachine();
    void serverWithTlsIsReachedEncrypted_data();
    void serverWithTlsIsReachedEncrypted();

private:
    // A cluster of the test's own, reached at this machine's outside address; nothing
    // (with the test skipped) where it cannot run.
    PostgresServer* serverFor(bool tls, const QString& driver);

    std::unique_ptr<PostgresServer> m_plain;
    std::unique_ptr<PostgresServer> m_tls;
};

namespace
{
const int kPrivate = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser | QFileDevice::WriteUser;

// Writes aliases.ini with the section [Velorin] holding lines, with mode.
void writeAliases(const QStringList& lines, int mode = kPrivate)
{
    QFile file(Databases::aliasesFile());
    QVERIFY(QDir().mkpath(QFileInfo(file).path()));
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(("[Velorin]\n" + lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8());
    file.close();
    QVERIFY(QFile::setPermissions(file.fileName(), QFileDevice::Permissions(mode)));
}

// The one line that accepts a link in clear, as the refusal gives it: its last but one line.
QString adviceOf(const QString& refusal)
{
    const QStringList lines = refusal.split(QLatin1Char('\n'));
    return lines.size() >= 2 ? lines.at(lines.size() - 2) : QString();
}

// Whether the session runs over TLS, as the server sees it.
bool sessionEncrypted(const QString& alias)
{
    const QueryResult r = Databases::connect(alias)->execute(
        QStringLiteral("SELECT count(*) FROM pg_stat_ssl WHERE pid = pg_backend_pid() AND ssl"), {});
    return r.rows->cell(0, 0).integer == 1;
}
} // namespace

void TestAliasSecurity::initTestCase()
{
    initTestEnvironment();
    // libpq's own variable would take the place of the default.
    qunsetenv("PGSSLMODE");
}

void TestAliasSecurity::cleanup()
{
    Databases::closeAll();
    QFile::remove(Databases::aliasesFile());
}

void TestAliasSecurity::localHostsAreThisMachine_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<bool>("local");
    QTest::newRow("no host: the local socket") << "" << true;
    QTest::newRow("socket folder") << "/run/postgresql" << true;
    QTest::newRow("abstract socket") << "@pg" << true;
    QTest::newRow("localhost, any case") << "LocalHost" << true;
    QTest::newRow("127.0.0.1") << "127.0.0.1" << true;
    QTest::newRow("elsewhere in 127/8") << "127.12.0.254" << true;
    QTest::newRow("not an address: 127.0.0.256") << "127.0.0.256" << false;
    QTest::newRow("::1") << "::1" << true;
    QTest::newRow("::1 in brackets") << "[::1]" << true;
    QTest::newRow("::1 written whole") << "0:0:0:0:0:0:0:1" << true;
    QTest::newRow("loopback mapped to IPv6") << "::ffff:127.0.0.1" << true;
    QTest::newRow("another IPv6 address") << "::2" << false;
    QTest::newRow("an IPv6 address ending in 1") << "fe80::1" << false;
    QTest::newRow("a LAN address") << "192.168.1.20" << false;
    QTest::newRow("a name") << "serveur-cabinet" << false;
    QTest::newRow("a name starting with localhost") << "localhost.example.org" << false;
    QTest::newRow("a name starting with 127") << "127.0.0.1.example.org" << false;
    QTest::newRow("hosts all local") << "localhost,127.0.0.1" << true;
    QTest::newRow("one host of the list elsewhere") << "localhost,serveur-cabinet" << false;
}

void TestAliasSecurity::localHostsAreThisMachine()
{
    QFETCH(QString, host);
    QFETCH(bool, local);
    QCOMPARE(AliasSecurity::isLocalHost(host), local);
}

void TestAliasSecurity::linkOffThisMachineIsEncryptedByDefault_data()
{
    QTest::addColumn<QStringList>("lines"); // of the alias's section
    QTest::addColumn<QString>("options"); // as the connection gets them
    QTest::addColumn<QString>("database");
    QTest::addColumn<QString>("advice"); // the line that the refusal proposes; empty: none

    const QString odbc = QStringLiteral("DRIVER={PostgreSQL Unicode};SERVER=serveur-cabinet;PORT=5432;DATABASE=base");
    QTest::newRow("server elsewhere: require")
        << QStringList { "driver=QPSQL", "host=serveur-cabinet", "database=base" } << "sslmode=require"
        << "base"
        << "options=sslmode=disable";
    QTest::newRow("root certificate named: verify-full")
        << QStringList { "driver=QPSQL", "host=10.0.0.5", "database=base", "options=sslrootcert=/etc/cabinet.crt" }
        << "sslrootcert=/etc/cabinet.crt;sslmode=verify-full"
        << "base"
        << ";sslmode=disable";
    QTest::newRow("other options kept")
        << QStringList { "driver=qpsql", "host=serveur-cabinet", "options=connect_timeout=5;" }
        << "connect_timeout=5;sslmode=require"
        << ""
        << ";sslmode=disable";
    QTest::newRow("sslmode=disable obeyed")
        << QStringList { "driver=QPSQL", "host=serveur-cabinet", "options=sslmode=disable" } << "sslmode=disable"
        << ""
        << "";
    QTest::newRow("SSLMODE=prefer obeyed, letter case aside")
        << QStringList { "driver=QPSQL", "host=serveur-cabinet", "options= SSLMODE = prefer" } << "SSLMODE = prefer"
        << ""
        << "";
    QTest::newRow("localhost: as written") << QStringList { "driver=QPSQL", "host=localhost" } << ""
                                           << ""
                                           << "";
    QTest::newRow("socket folder: as written") << QStringList { "driver=QPSQL", "host=/run/postgresql" } << ""
                                               << ""
                                               << "";
    QTest::newRow("no host: as written") << QStringList { "driver=QPSQL" } << ""
                                         << ""
                                         << "";
    QTest::newRow("host of the options elsewhere")
        << QStringList { "driver=QPSQL", "host=localhost", "options=host=serveur-cabinet" }
        << "host=serveur-cabinet;sslmode=require"
        << ""
        << ";sslmode=disable";
    QTest::newRow("hostaddr elsewhere")
        << QStringList { "driver=QPSQL", "options=hostaddr=10.0.0.5" } << "hostaddr=10.0.0.5;sslmode=require"
        << ""
        << ";sslmode=disable";
    QTest::newRow("ODBC, PostgreSQL's driver: SSLmode=require")
        << QStringList { "driver=QODBC", "database=" + odbc } << "" << odbc + ";SSLmode=require"
        << ";SSLmode=disable";
    QTest::newRow("ODBC, root certificate in pqopt: verify-full")
        << QStringList { "driver=QODBC", "database=" + odbc + ";pqopt={sslrootcert=/etc/cabinet.crt}" } << ""
        << odbc + ";pqopt={sslrootcert=/etc/cabinet.crt};SSLmode=verify-full"
        << ";SSLmode=disable";
    QTest::newRow("ODBC, its own sslmode obeyed")
        << QStringList { "driver=QODBC", "database=" + odbc + ";sslmode=disable" } << ""
        << odbc + ";sslmode=disable"
        << "";
    QTest::newRow("ODBC, short form CA obeyed")
        << QStringList { "driver=QODBC", "database=" + odbc + ";CA=allow" } << "" << odbc + ";CA=allow"
        << "";
    QTest::newRow("ODBC, server on loopback: as written")
        << QStringList { "driver=QODBC", "database=DRIVER={PostgreSQL Unicode};SERVER=127.0.0.1" } << ""
        << "DRIVER={PostgreSQL Unicode};SERVER=127.0.0.1"
        << "";
    QTest::newRow("ODBC, another server's driver: as written")
        << QStringList { "driver=QODBC", "database=DRIVER={SQL Server};SERVER=serveur-cabinet" } << ""
        << "DRIVER={SQL Server};SERVER=serveur-cabinet"
        << "";
    QTest::newRow("ODBC, a data source name: as written")
        << QStringList { "driver=QODBC", "database=Cabinet" } << ""
        << "Cabinet"
        << "";
    QTest::newRow("SQLite: as written") << QStringList { "driver=SQLITE", "host=serveur-cabinet", "database=a.db" }
                                        << ""
                                        << "a.db"
                                        << "";
}

void TestAliasSecurity::linkOffThisMachineIsEncryptedByDefault()
{
    QFETCH(QStringList, lines);
    QFETCH(QString, options);
    QFETCH(QString, database);
    QFETCH(QString, advice);
    writeAliases(lines);
    AliasSettings s;
    const Raised failure = raised([&] { s = Databases::resolve(QStringLiteral("Velorin")); });
    QCOMPARE(failure.message, QString());
    QCOMPARE(s.options, options);
    QCOMPARE(s.database, database);
    QCOMPARE(adviceOf(s.noTlsRefusal), advice);
}

void TestAliasSecurity::everyPasswordOthersCanReadIsSetAside_data()
{
    QTest::addColumn<QStringList>("lines"); // of the alias's section
    QTest::addColumn<int>("mode"); // of aliases.ini
    QTest::addColumn<QString>("password"); // used
    QTest::addColumn<QString>("options");
    QTest::addColumn<QString>("database");
    QTest::addColumn<QString>("setAside"); // the keys that the notice names; empty: no notice

    const int group = kPrivate | QFileDevice::ReadGroup;
    const int others = kPrivate | QFileDevice::ReadOther;
    const QString odbc = QStringLiteral("DRIVER={PostgreSQL Unicode};SERVER=127.0.0.1");
    QTest::newRow("private file: every password used")
        << QStringList { "driver=QPSQL", "password=secret", "options=password=autre" } << kPrivate << "secret"
        << "password=autre"
        << ""
        << "";
    QTest::newRow("key password, the group reads")
        << QStringList { "driver=QPSQL", "password=secret" } << group << ""
        << ""
        << ""
        << "clé « password »";
    QTest::newRow("password= in the options, others read")
        << QStringList { "driver=QPSQL", "options=connect_timeout=5;password=secret" } << others << ""
        << "connect_timeout=5"
        << ""
        << "« password= » dans la clé « options »";
    QTest::newRow("PASSWORD = in the options, letter case and blanks aside")
        << QStringList { "driver=QPSQL", "options=PASSWORD = secret ; application_name=x" } << others << ""
        << "application_name=x"
        << ""
        << "« PASSWORD= » dans la clé « options »";
    QTest::newRow("ODBC PWD=")
        << QStringList { "driver=QODBC", "database=" + odbc + ";PWD=secret;PORT=5432" } << others << ""
        << ""
        << odbc + ";PORT=5432"
        << "« PWD= » dans la clé « database »";
    QTest::newRow("ODBC password= in braces holding ;")
        << QStringList { "driver=QODBC", "database=" + odbc + ";password={se;c}}ret};PORT=5432" } << others << ""
        << ""
        << odbc + ";PORT=5432"
        << "« password= » dans la clé « database »";
    QTest::newRow("ODBC Pwd= in double quotes holding ;")
        << QStringList { "driver=QODBC", "database=" + odbc + ";Pwd=\"se;cret\"" } << others << ""
        << ""
        << odbc << "« Pwd= » dans la clé « database »";
    QTest::newRow("ODBC, the whole value quoted as the file allows")
        << QStringList { "driver=QODBC", "database=\"" + odbc + ";PWD=secret\"" } << others << ""
        << ""
        << odbc << "« PWD= » dans la clé « database »";
    QTest::newRow("ODBC PWD=, private file: used")
        << QStringList { "driver=QODBC", "database=" + odbc + ";PWD=secret" } << kPrivate << ""
        << ""
        << odbc + ";PWD=secret"
        << "";
    QTest::newRow("every place at once")
        << QStringList { "driver=QODBC", "password=a", "options=password=b", "database=" + odbc + ";PWD=c" } << group
        << ""
        << ""
        << odbc
        << "clé « password », « password= » dans la clé « options », « PWD= » dans la clé « database »";
    QTest::newRow("SQLite file whose name holds pwd=")
        << QStringList { "driver=SQLITE", "database=/tmp/a;pwd=1.db" } << others << ""
        << ""
        << "/tmp/a;pwd=1.db"
        << "";
    QTest::newRow("a key that only ends in password")
        << QStringList { "driver=QPSQL", "options=sslpasswordfile=x" } << others << ""
        << "sslpasswordfile=x"
        << ""
        << "";
}

void TestAliasSecurity::everyPasswordOthersCanReadIsSetAside()
{
    QFETCH(QStringList, lines);
    QFETCH(int, mode);
    QFETCH(QString, password);
    QFETCH(QString, options);
    QFETCH(QString, database);
    QFETCH(QString, setAside);
#ifdef Q_OS_WIN
    if (mode != kPrivate)
        QSKIP("Windows keeps aliases.ini in the user's own profile: no mode bits say that others read it");
#endif
    writeAliases(lines, mode);
    AliasSettings s;
    const Raised failure = raised([&] { s = Databases::resolve(QStringLiteral("Velorin")); });
    QCOMPARE(failure.message, QString());
    QCOMPARE(s.password, password);
    QCOMPARE(s.hasPassword, !password.isEmpty());
    QCOMPARE(s.options, options);
    QCOMPARE(s.database, database);
    const QString file = Databases::aliasesFile();
    QCOMPARE(s.passwordNotice,
        setAside.isEmpty()
            ? QString()
            : QStringLiteral("Le mot de passe de %1 (%2) n'est pas utilisé : d'autres utilisateurs peuvent lire ce "
                             "fichier. Pour qu'il serve, rendez-le lisible par vous seul :\nchmod 600 %1")
                  .arg(file, setAside));
}

PostgresServer* TestAliasSecurity::serverFor(bool tls, const QString& driver)
{
    auto& server = tls ? m_tls : m_plain;
    if (!server)
        server = std::make_unique<PostgresServer>(PostgresServer::OwnCluster { tls });
    if (PostgresServer::outsideAddress().isEmpty()) {
        QTest::qSkip("needs an address of this machine off loopback", __FILE__, __LINE__);
        return nullptr;
    }
    if (!server->available()) {
        if (PostgresServer::required())
            QTest::qFail(qPrintable(server->error()), __FILE__, __LINE__);
        else
            QTest::qSkip(qPrintable(server->error()), __FILE__, __LINE__);
        return nullptr;
    }
    if (driver == QLatin1String("QODBC")) {
        if (const QString missing = PostgresServer::odbcMissing(); !missing.isEmpty()) {
            QTest::qSkip(qPrintable(missing), __FILE__, __LINE__);
            return nullptr;
        }
    }
    return server.get();
}

namespace
{
// Makes the alias [Velorin] name server's database at host ("outside": this machine's
// address off loopback) by driver, with the libpq options given (through pqopt for ODBC)
// and sslmode when not empty.
void writeAlias(PostgresServer& server, const QString& driver, const QString& host, const QString& options,
    const QString& sslmode = {})
{
    server.useHost(host == QLatin1String("outside") ? PostgresServer::outsideAddress() : host);
    const bool odbc = driver == QLatin1String("QODBC");
    if (odbc)
        server.writeOdbcAlias(QStringLiteral("Velorin"));
    else
        server.writeAlias(QStringLiteral("Velorin"));
    QSettings ini(Databases::aliasesFile(), QSettings::IniFormat);
    ini.beginGroup(QStringLiteral("Velorin"));
    QString connection = ini.value(QStringLiteral("database")).toString();
    if (odbc && !options.isEmpty())
        connection += QStringLiteral(";pqopt={%1}").arg(options);
    if (odbc && !sslmode.isEmpty())
        connection += QStringLiteral(";SSLmode=") + sslmode;
    if (odbc)
        ini.setValue(QStringLiteral("database"), connection);
    else if (!options.isEmpty())
        ini.setValue(QStringLiteral("options"), options);
    else if (!sslmode.isEmpty())
        ini.setValue(QStringLiteral("options"), QStringLiteral("sslmode=") + sslmode);
}
} // namespace

void TestAliasSecurity::serverWithoutTlsIsRefusedOffThisMachine_data()
{
    QTest::addColumn<QString>("driver");
    QTest::addColumn<QString>("host"); // "outside": this machine's address off loopback
    QTest::addColumn<QString>("sslmode"); // added to the alias; empty: none
    QTest::addColumn<QString>("advice"); // how the refusal says to accept it (%1: the file); empty: reached
    for (const char* driver : { "QPSQL", "QODBC" }) {
        const bool odbc = QLatin1String(driver) == QLatin1String("QODBC");
        QTest::addRow("%s: server elsewhere, the alias says nothing: refused", driver)
            << QString::fromLatin1(driver) << "outside" << ""
            << (odbc ? "ajoutez à la fin de la ligne database de la section [Velorin] de %1 :\n;SSLmode=disable"
                     : "ajoutez à la section [Velorin] de %1 la ligne :\noptions=sslmode=disable");
        QTest::addRow("%s: server elsewhere, sslmode=disable: reached in clear", driver)
            << QString::fromLatin1(driver) << "outside"
            << "disable"
            << "";
        QTest::addRow("%s: server on loopback: reached as before", driver)
            << QString::fromLatin1(driver) << "127.0.0.1"
            << ""
            << "";
    }
}

void TestAliasSecurity::serverWithoutTlsIsRefusedOffThisMachine()
{
    QFETCH(QString, driver);
    QFETCH(QString, host);
    QFETCH(QString, sslmode);
    QFETCH(QString, advice);
    PostgresServer* server = serverFor(false, driver);
    if (!server)
        return;
    writeAlias(*server, driver, host, {}, sslmode);
    const Raised failure = raised([] { Databases::connect(QStringLiteral("Velorin")); });
    if (advice.isEmpty()) {
        QCOMPARE(failure.message, QString());
        QVERIFY(!sessionEncrypted(QStringLiteral("Velorin")));
        return;
    }
    QCOMPARE(failure.kind, QStringLiteral("EDatabaseError"));
    QCOMPARE(failure.message,
        QStringLiteral("Le serveur %1 n'offre pas de connexion chiffrée. VeloSQL ne s'y connecte pas : le mot de passe "
                       "et les données des patients traverseraient le réseau en clair.\n"
                       "Pour accepter malgré tout une connexion non chiffrée, %2\n"
                       "Risque : quiconque écoute le réseau entre ce poste et le serveur lira alors le mot de passe et "
                       "chaque donnée échangée.")
            .arg(server->host(), advice.arg(QDir::toNativeSeparators(Databases::aliasesFile()))));
}

void TestAliasSecurity::serverWithTlsIsReachedEncrypted_data()
{
    QTest::addColumn<QString>("driver");
    QTest::addColumn<QString>("root"); // named by the alias: "cabinet", "other" or none
    QTest::addColumn<QString>("refusal"); // a part of the failure's message; empty: reached encrypted
    for (const char* driver : { "QPSQL", "QODBC" }) {
        QTest::addRow("%s: the alias says nothing: encrypted", driver) << QString::fromLatin1(driver) << ""
                                                                       << "";
        QTest::addRow("%s: the practice's root: verified and encrypted", driver)
            << QString::fromLatin1(driver) << "cabinet"
            << "";
        QTest::addRow("%s: another root: refused", driver) << QString::fromLatin1(driver) << "other"
                                                           << "certificate verify failed";
    }
}

void TestAliasSecurity::serverWithTlsIsReachedEncrypted()
{
    QFETCH(QString, driver);
    QFETCH(QString, root);
    QFETCH(QString, refusal);
    PostgresServer* server = serverFor(true, driver);
    if (!server)
        return;
    const QString certificate = root.isEmpty()   ? QString()
        : root == QLatin1String("cabinet") ? server->rootCertificate()
                                           : server->otherRootCertificate();
    writeAlias(*server, driver, QStringLiteral("outside"),
        certificate.isEmpty() ? QString() : QStringLiteral("sslrootcert=") + certificate);
    const Raised failure = raised([] { Databases::connect(QStringLiteral("Velorin")); });
    if (!refusal.isEmpty()) {
        QVERIFY2(failure.message.contains(refusal), qPrintable(failure.message));
        return;
    }
    QCOMPARE(failure.message, QString());
    QVERIFY(sessionEncrypted(QStringLiteral("Velorin")));
}

QTEST_MAIN(TestAliasSecurity)
#include "tst_aliassecurity.moc"
