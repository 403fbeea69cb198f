#include "PostgresServer.h"
#include "Raised.h"
#include "ScriptedDialogs.h"
#include "TestDatabase.h"
#include "app/DialogCredentials.h"
#include "app/SQL.h"
#include "app/VeloSQL.h"
#include "data/Query.h"
#include "data/Table.h"
#include "engine/Credentials.h"
#include "engine/Databases.h"
#include "ui/LoginDialogs.h"
#include "ui/widgets/DialogFit.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <memory>

// The prompts for a login and a table's password, and the credentials provider
// through which the engine asks for them: against a stand-in server that takes one
// password, and against a real PostgreSQL server that demands one, by both drivers.
class TestLogin : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();

    void loginIsAskedUntilServerTakesIt_data();
    void loginIsAskedUntilServerTakesIt();
    void tablePasswordGoesThroughItsPrompt_data();
    void tablePasswordGoesThroughItsPrompt();

    void promptFieldsTakeAtMost31Characters_data();
    void promptFieldsTakeAtMost31Characters();
    void loginPromptShowsDatabaseAndRefusal_data();
    void loginPromptShowsDatabaseAndRefusal();
    void promptsAnswerOkOrCancel_data();
    void promptsAnswerOkOrCancel();

    void serverDemandingPasswordAsksAtStartup_data();
    void serverDemandingPasswordAsksAtStartup();
    void passwordOthersCanReadIsNotUsed_data();
    void passwordOthersCanReadIsNotUsed();
    void lostSessionAsksAgainOnlyWhenRefused_data();
    void lostSessionAsksAgainOnlyWhenRefused();

private:
    // The server of the tests that need one, demanding a password of login_secretariat;
    // false (with the test skipped) when there is none.
    bool serverFor(const QString& driver);

    std::unique_ptr<PostgresServer> m_server;
};

namespace
{
const QString kUser = QStringLiteral("login_secretariat");
const QString kPassword = QStringLiteral("bon");

// A server that takes the user login_secretariat with the password "bon", as PostgreSQL
// words its refusals; the host "absent" is never reached.
void standInServer(const AliasSettings& s)
{
    if (s.host == QLatin1String("absent"))
        throw EDatabaseError(QStringLiteral("Connection refused"));
    if (s.password.isEmpty())
        throw ELoginRefused(QStringLiteral("fe_sendauth: no password supplied"));
    if (s.user != kUser || s.password != kPassword)
        throw ELoginRefused(QStringLiteral("password authentication failed for user \"%1\"").arg(s.user));
}

// "user:password" answers the prompt, "annuler" cancels it.
QList<std::optional<Login>> answersOf(const QStringList& script)
{
    QList<std::optional<Login>> answers;
    for (const QString& a : script) {
        if (a == QLatin1String("annuler"))
            answers << std::nullopt;
        else
            answers << Login { a.section(QLatin1Char(':'), 0, 0), a.section(QLatin1Char(':'), 1) };
    }
    return answers;
}

// The retry flags of the login prompts shown, "0" or "1" each.
QString retriesOf(const ScriptedDialogs& dialogs)
{
    QStringList flags;
    for (const auto& call : dialogs.callsOf(QStringLiteral("login")))
        flags << QString::number(call.login.retry);
    return flags.join(QLatin1Char(','));
}

// Makes the server demand a password of the user login_secretariat, and gives it the
// settings table.
QString demandPassword(const PostgresServer& server)
{
    const QString hba = server.value(QStringLiteral("SHOW hba_file"));
    QFile file(hba);
    if (!file.open(QIODevice::ReadWrite))
        return QStringLiteral("cannot open ") + hba;
    const QByteArray rules = file.readAll();
    file.seek(0);
    file.write("local all login_secretariat scram-sha-256\nhost all login_secretariat all scram-sha-256\n" + rules);
    file.close();
    return server.run(QStringLiteral("DROP TABLE IF EXISTS \"ListBase\"; DROP ROLE IF EXISTS login_secretariat;"
                                     "CREATE ROLE login_secretariat LOGIN PASSWORD 'bon';"
                                     "CREATE TABLE \"ListBase\" (\"TTTYPES\" TEXT, \"POLICE5\" VARCHAR(20));"
                                     "INSERT INTO \"ListBase\" VALUES ('SELECT 1', ';');"
                                     "GRANT ALL ON \"ListBase\" TO login_secretariat;"
                                     "SELECT pg_reload_conf()"));
}
} // namespace

void TestLogin::initTestCase()
{
    initTestEnvironment();
    // The program asks through its dialogs from the start.
    VeloSQL::initApplication();
    QVERIFY(dynamic_cast<DialogCredentials*>(Credentials::installed()));
    // Settings of the test's own, apart from those of the tests that start the program.
    QCoreApplication::setApplicationName(QStringLiteral("tst_login"));
}

void TestLogin::cleanup()
{
    VeloSQL::destroyWindows();
    QSettings(Databases::aliasesFile(), QSettings::IniFormat).remove(QStringLiteral("Velorin"));
}

void TestLogin::loginIsAskedUntilServerTakesIt_data()
{
    QTest::addColumn<QString>("aliasPassword"); // "-": the alias holds none
    QTest::addColumn<QString>("host");
    QTest::addColumn<bool>("provider");
    QTest::addColumn<QStringList>("answers");
    QTest::addColumn<QString>("retries");
    QTest::addColumn<QString>("message");

    const QString noPassword = QStringLiteral("fe_sendauth: no password supplied");
    const QString refused = QStringLiteral("password authentication failed for user \"login_secretariat\"");
    const QString cancelled = Credentials::loginCancelledMessage(QStringLiteral("Velorin"));
    QTest::newRow("alias holds the right password") << "bon"
                                                    << "" << true << QStringList() << ""
                                                    << "";
    QTest::newRow("alias holds a wrong password: its refusal, no prompt")
        << "faux"
        << "" << true << QStringList() << "" << refused;
    QTest::newRow("alias holds an empty password: no prompt") << ""
                                                              << "" << true << QStringList() << "" << noPassword;
    QTest::newRow("no provider: the server's refusal") << "-"
                                                       << "" << false << QStringList() << "" << noPassword;
    QTest::newRow("right password at the first prompt") << "-"
                                                        << "" << true << QStringList { "login_secretariat:bon" } << "0"
                                                        << "";
    QTest::newRow("right password after a refused one")
        << "-"
        << "" << true << QStringList { "login_secretariat:faux", "login_secretariat:bon" } << "0,1"
        << "";
    QTest::newRow("another user named at the second prompt")
        << "-"
        << "" << true << QStringList { "medecin:bon", "login_secretariat:bon" } << "0,1"
        << "";
    QTest::newRow("refused twice: the last refusal")
        << "-"
        << "" << true << QStringList { "login_secretariat:faux", "login_secretariat:pire", "login_secretariat:bon" }
        << "0,1" << refused;
    QTest::newRow("cancelled at the first prompt") << "-"
                                                   << "" << true << QStringList { "annuler" } << "0" << cancelled;
    QTest::newRow("cancelled after a refused password")
        << "-"
        << "" << true << QStringList { "login_secretariat:faux", "annuler" } << "0,1" << cancelled;
    QTest::newRow("server not reached: no prompt") << "-"
                                                   << "absent" << true << QStringList { "login_secretariat:bon" } << ""
                                                   << "Connection refused";
}

void TestLogin::loginIsAskedUntilServerTakesIt()
{
    QFETCH(QString, aliasPassword);
    QFETCH(QString, host);
    QFETCH(bool, provider);
    QFETCH(QStringList, answers);
    QFETCH(QString, retries);
    QFETCH(QString, message);
    AliasSettings s;
    s.alias = QStringLiteral("Velorin");
    s.driver = QStringLiteral("QPSQL");
    s.host = host;
    s.user = kUser;
    s.hasPassword = aliasPassword != QLatin1String("-");
    s.password = s.hasPassword ? aliasPassword : QString();
    CredentialsProvider* const program = Credentials::installed();
    DialogCredentials credentials;
    Credentials::install(provider ? &credentials : nullptr);
    ScriptedDialogs dialogs;
    dialogs.loginAnswers = answersOf(answers);
    int connections = 0;
    const Raised failure = raised([&] {
        Credentials::connectWithLogin(s, [&connections](const AliasSettings& tried) {
            standInServer(tried);
            ++connections;
        });
    });
    Credentials::install(program);

    QCOMPARE(failure.message, message);
    if (!message.isEmpty())
        QCOMPARE(failure.kind, QStringLiteral("EDatabaseError"));
    QCOMPARE(retriesOf(dialogs), retries);
    for (const auto& call : dialogs.callsOf(QStringLiteral("login"))) {
        QCOMPARE(call.login.caption, QStringLiteral("Connexion base de données"));
        QCOMPARE(call.login.database, QStringLiteral("Velorin"));
        QCOMPARE(call.login.user, kUser);
    }
    // The login that the server took is the one the connection goes on with.
    QCOMPARE(connections, message.isEmpty() ? 1 : 0);
    if (message.isEmpty())
        QCOMPARE(s.password, kPassword);
}

void TestLogin::tablePasswordGoesThroughItsPrompt_data()
{
    QTest::addColumn<bool>("provider");
    QTest::addColumn<QString>("answer"); // "annuler" cancels
    QTest::addColumn<QString>("message");
    QTest::newRow("password given") << true << "clé"
                                    << "";
    QTest::newRow("prompt cancelled") << true << "annuler"
                                      << "La table Patients est protégée par un mot de passe, qui n'a pas été saisi";
    QTest::newRow("no provider") << false << ""
                                 << "La table Patients est protégée par un mot de passe, qui n'a pas été saisi";
}

void TestLogin::tablePasswordGoesThroughItsPrompt()
{
    QFETCH(bool, provider);
    QFETCH(QString, answer);
    QFETCH(QString, message);
    CredentialsProvider* const program = Credentials::installed();
    DialogCredentials credentials;
    Credentials::install(provider ? &credentials : nullptr);
    ScriptedDialogs dialogs;
    dialogs.tablePasswordAnswers << (answer == QLatin1String("annuler") ? std::nullopt : std::optional(answer));
    QString password;
    const Raised failure
        = raised([&] { password = Credentials::tablePassword(QStringLiteral("Velorin"), QStringLiteral("Patients")); });
    Credentials::install(program);

    QCOMPARE(failure.message, message);
    QCOMPARE(password, message.isEmpty() ? answer : QString());
    const auto calls = dialogs.callsOf(QStringLiteral("tablePassword"));
    QCOMPARE(calls.size(), provider ? 1 : 0);
    if (provider) {
        QCOMPARE(calls[0].tablePassword.caption, QStringLiteral("Saisie du mot de passe"));
        QCOMPARE(calls[0].tablePassword.table, QStringLiteral("Patients"));
    }
}

void TestLogin::promptFieldsTakeAtMost31Characters_data()
{
    QTest::addColumn<QString>("prompt");
    QTest::addColumn<QString>("field");
    QTest::addColumn<bool>("hidden");
    QTest::newRow("login: user name") << "login"
                                      << "EditUtilisateur" << false;
    QTest::newRow("login: password") << "login"
                                     << "EditMotDePasse" << true;
    QTest::newRow("table password") << "table"
                                    << "EditMotDePasse" << true;
}

void TestLogin::promptFieldsTakeAtMost31Characters()
{
    QFETCH(QString, prompt);
    QFETCH(QString, field);
    QFETCH(bool, hidden);
    std::unique_ptr<QDialog> dialog;
    if (prompt == QLatin1String("login"))
        dialog = std::make_unique<LoginDialog>(Dialogs::LoginRequest {
            QStringLiteral("Connexion base de données"), QStringLiteral("Velorin"), QString(), false, QString(), false, QString() });
    else
        dialog = std::make_unique<TablePasswordDialog>(
            Dialogs::TablePasswordRequest { QStringLiteral("Saisie du mot de passe"), QStringLiteral("Patients") });
    dialog->show();
    auto* edit = dialog->findChild<QLineEdit*>(field);
    QVERIFY(edit);
    const QString typed = QStringLiteral("abcdefghijklmnopqrstuvwxyz0123456789ABCD");
    QTest::keyClicks(edit, typed);
    QCOMPARE(edit->text(), typed.left(31));
    QCOMPARE(edit->displayText(), hidden ? QString(31, QLatin1Char('*')) : typed.left(31));
}

void TestLogin::loginPromptShowsDatabaseAndRefusal_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<bool>("retry");
    QTest::addColumn<QString>("focus");
    QTest::addColumn<QString>("notice");
    QTest::newRow("first prompt, user known") << "login_secretariat" << false << "EditMotDePasse"
                                              << "";
    QTest::newRow("first prompt, no user") << "" << false << "EditUtilisateur"
                                           << "";
    QTest::newRow("after a refused password") << "login_secretariat" << true << "EditMotDePasse"
                                              << "";
    QTest::newRow("password of the alias left aside")
        << "login_secretariat" << false << "EditMotDePasse"
        << "Le mot de passe de /home/a/aliases.ini (clé « password ») n'est pas utilisé : d'autres utilisateurs "
           "peuvent lire ce fichier. Pour qu'il serve, rendez-le lisible par vous seul :\nchmod 600 /home/a/aliases.ini";
}

void TestLogin::loginPromptShowsDatabaseAndRefusal()
{
    QFETCH(QString, user);
    QFETCH(bool, retry);
    QFETCH(QString, focus);
    QFETCH(QString, notice);
    LoginDialog dialog({ QStringLiteral("Connexion base de données"), QStringLiteral("Velorin"), user, retry, notice, false, QString() });
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Connexion base de données"));
    QCOMPARE(dialog.LabelBase->text(), QStringLiteral("Base de données : Velorin"));
    QCOMPARE(dialog.EditUtilisateur->text(), user);
    QCOMPARE(dialog.LabelRefus->isVisible(), retry);
    QCOMPARE(dialog.LabelAvis->isVisible(), !notice.isEmpty());
    QCOMPARE(dialog.LabelAvis->text(), notice);
    QCOMPARE(QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : QString(), focus);
    QCOMPARE(dialog.ButtonOK->text(), QStringLiteral("OK"));
    QCOMPARE(dialog.ButtonAnnuler->text(), QStringLiteral("Annuler"));
    QVERIFY(dialog.ButtonOK->isDefault());
    // The password is asked afresh each time.
    QCOMPARE(dialog.EditMotDePasse->text(), QString());
    // A title bar shows the whole caption.
    QVERIFY2(
        dialog.width() >= DialogFit::captionWidth(dialog.windowTitle()), qPrintable(QString::number(dialog.width())));
}

void TestLogin::promptsAnswerOkOrCancel_data()
{
    QTest::addColumn<QString>("prompt");
    QTest::addColumn<QString>("action");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("login: OK") << "login"
                               << "ButtonOK" << true;
    QTest::newRow("login: Enter in the password") << "login"
                                                  << "Enter" << true;
    QTest::newRow("login: Annuler") << "login"
                                    << "ButtonAnnuler" << false;
    QTest::newRow("login: Escape") << "login"
                                   << "Escape" << false;
    QTest::newRow("table password: Enter") << "table"
                                           << "Enter" << true;
    QTest::newRow("table password: Annuler") << "table"
                                             << "ButtonAnnuler" << false;
}

void TestLogin::promptsAnswerOkOrCancel()
{
    QFETCH(QString, prompt);
    QFETCH(QString, action);
    QFETCH(bool, accepted);
    std::unique_ptr<QDialog> dialog;
    if (prompt == QLatin1String("login"))
        dialog = std::make_unique<LoginDialog>(Dialogs::LoginRequest {
            QStringLiteral("Connexion base de données"), QStringLiteral("Velorin"), kUser, false, QString(), false, QString() });
    else
        dialog = std::make_unique<TablePasswordDialog>(
            Dialogs::TablePasswordRequest { QStringLiteral("Saisie du mot de passe"), QStringLiteral("Patients") });
    dialog->show();
    QVERIFY(QTest::qWaitForWindowActive(dialog.get()));
    auto* password = dialog->findChild<QLineEdit*>(QStringLiteral("EditMotDePasse"));
    QTest::keyClicks(password, kPassword);
    if (action == QLatin1String("Enter"))
        QTest::keyClick(password, Qt::Key_Return);
    else if (action == QLatin1String("Escape"))
        QTest::keyClick(password, Qt::Key_Escape);
    else
        QTest::mouseClick(dialog->findChild<QPushButton*>(action), Qt::LeftButton);
    QCOMPARE(dialog->result(), accepted ? int(QDialog::Accepted) : int(QDialog::Rejected));
    QVERIFY(!dialog->isVisible());
    if (auto* login = qobject_cast<LoginDialog*>(dialog.get())) {
        QCOMPARE(login->login().user, kUser);
        QCOMPARE(login->login().password, kPassword);
    } else {
        QCOMPARE(static_cast<TablePasswordDialog*>(dialog.get())->password(), kPassword);
    }
}

void TestLogin::serverDemandingPasswordAsksAtStartup_data()
{
    QTest::addColumn<QString>("driver");
    QTest::addColumn<QStringList>("answers");
    QTest::addColumn<QString>("retries");
    QTest::addColumn<QString>("message"); // the start-up failure's, empty when the windows open

    const QString cancelled = Credentials::loginCancelledMessage(QStringLiteral("Velorin"));
    for (const char* driver : { "QPSQL", "QODBC" }) {
        QTest::addRow("%s: right password", driver)
            << QString::fromLatin1(driver) << QStringList { "login_secretariat:bon" } << "0"
            << "";
        QTest::addRow("%s: right password after a refused one", driver)
            << QString::fromLatin1(driver) << QStringList { "login_secretariat:faux", "login_secretariat:bon" } << "0,1"
            << "";
        QTest::addRow("%s: refused twice", driver)
            << QString::fromLatin1(driver) << QStringList { "login_secretariat:faux", "login_secretariat:pire" }
            << "0,1"
            << "password authentication failed for user \"login_secretariat\"";
        QTest::addRow("%s: cancelled", driver)
            << QString::fromLatin1(driver) << QStringList { "annuler" } << "0" << cancelled;
    }
}

void TestLogin::serverDemandingPasswordAsksAtStartup()
{
    QFETCH(QString, driver);
    QFETCH(QStringList, answers);
    QFETCH(QString, retries);
    QFETCH(QString, message);
    if (!serverFor(driver))
        return;
    ScriptedDialogs dialogs;
    dialogs.loginAnswers = answersOf(answers);
    // A failure while the windows are made is a start-up failure: the program shows
    // it and ends with status 1.
    const Raised failure = raised([] { VeloSQL::createWindows(); });
    if (message.isEmpty()) {
        QCOMPARE(failure.message, QString());
        QCOMPARE(FicheSQL->TableSQL->FieldByName(QStringLiteral("TTTYPES"))->text(), QStringLiteral("SELECT 1"));
    } else {
        QCOMPARE(failure.kind, QStringLiteral("EDatabaseError"));
        QVERIFY2(failure.message.contains(message), qPrintable(failure.message));
    }
    QCOMPARE(retriesOf(dialogs), retries);
}

void TestLogin::passwordOthersCanReadIsNotUsed_data()
{
    QTest::addColumn<int>("mode"); // of aliases.ini, as QFileDevice::Permissions
    QTest::addColumn<QString>("retries"); // of the prompts; empty when none shows
    const int owner = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser | QFileDevice::WriteUser;
    QTest::newRow("only its owner reads: used") << owner << "";
    QTest::newRow("its group reads: asked, with the reason") << (owner | QFileDevice::ReadGroup) << "0";
    QTest::newRow("others read: asked, with the reason") << (owner | QFileDevice::ReadOther) << "0";
}

void TestLogin::passwordOthersCanReadIsNotUsed()
{
    QFETCH(int, mode);
    QFETCH(QString, retries);
    if (!serverFor(QStringLiteral("QPSQL")))
        return;
    const QString file = Databases::aliasesFile();
    {
        QSettings ini(file, QSettings::IniFormat);
        ini.setValue(QStringLiteral("Velorin/password"), kPassword);
    }
    QVERIFY(QFile::setPermissions(file, QFileDevice::Permissions(mode)));
    ScriptedDialogs dialogs;
    dialogs.loginAnswers = answersOf({ "login_secretariat:bon" });
    const Raised failure = raised([] { VeloSQL::createWindows(); });
    QCOMPARE(failure.message, QString());
    QCOMPARE(retriesOf(dialogs), retries);
    for (const auto& call : dialogs.callsOf(QStringLiteral("login")))
        QVERIFY2(call.login.notice.endsWith(QStringLiteral(" :\nchmod 600 ") + file), qPrintable(call.login.notice));
}

bool TestLogin::serverFor(const QString& driver)
{
    if (!m_server) {
        m_server = std::make_unique<PostgresServer>();
        if (m_server->available() && !demandPassword(*m_server).isEmpty())
            QTest::qFail("the server does not demand a password", __FILE__, __LINE__);
    }
    if (!m_server->available()) {
        QTest::qSkip(qPrintable(m_server->error()), __FILE__, __LINE__);
        return false;
    }
    if (driver == QLatin1String("QODBC")) {
        if (const QString missing = PostgresServer::odbcMissing(); !missing.isEmpty()) {
            QTest::qSkip(qPrintable(missing), __FILE__, __LINE__);
            return false;
        }
        m_server->writeOdbcAlias(QStringLiteral("Velorin"));
    } else {
        m_server->writeAlias(QStringLiteral("Velorin"));
    }
    // The alias names the user but holds no password.
    QSettings ini(Databases::aliasesFile(), QSettings::IniFormat);
    ini.setValue(QStringLiteral("Velorin/user"), kUser);
    ini.remove(QStringLiteral("Velorin/password"));
    return true;
}

void TestLogin::lostSessionAsksAgainOnlyWhenRefused_data()
{
    QTest::addColumn<QString>("driver");
    QTest::addColumn<QString>("newPassword"); // set while the session is lost; empty: unchanged
    QTest::addColumn<QStringList>("answers");
    QTest::addColumn<QString>("retries");
    QTest::addColumn<QString>("outcome");
    for (const char* driver : { "QPSQL", "QODBC" }) {
        QTest::addRow("%s: the login given at the start serves again", driver)
            << QString::fromLatin1(driver) << "" << QStringList { "login_secretariat:bon" } << "0"
            << "SELECT 1";
        QTest::addRow("%s: a changed password is asked", driver)
            << QString::fromLatin1(driver) << "neuf"
            << QStringList { "login_secretariat:bon", "login_secretariat:neuf" } << "0,0"
            << "SELECT 1";
        QTest::addRow("%s: a changed password not given", driver)
            << QString::fromLatin1(driver) << "neuf" << QStringList { "login_secretariat:bon", "annuler" } << "0,0"
            << Credentials::loginCancelledMessage(QStringLiteral("Velorin"));
    }
}

void TestLogin::lostSessionAsksAgainOnlyWhenRefused()
{
    QFETCH(QString, driver);
    QFETCH(QString, newPassword);
    QFETCH(QStringList, answers);
    QFETCH(QString, retries);
    QFETCH(QString, outcome);
    if (!serverFor(driver))
        return;
    ScriptedDialogs dialogs;
    dialogs.loginAnswers = answersOf(answers);
    VeloSQL::createWindows();
    QVERIFY(FicheSQL->TableSQL->active());

    // The server ends the session, as it does when it restarts.
    QCOMPARE(m_server->run((newPassword.isEmpty()
                                   ? QString()
                                   : QStringLiteral("ALTER ROLE login_secretariat PASSWORD '%1';").arg(newPassword))
                 + QStringLiteral("SELECT pg_terminate_backend(pid) FROM pg_stat_activity "
                                  "WHERE usename = 'login_secretariat'")),
        QString());
    TQuery q;
    q.setDatabaseName(QStringLiteral("Velorin"));
    q.setSQL(QStringLiteral("SELECT \"TTTYPES\" FROM \"ListBase\""));
    const Raised failure = raised([&] { q.open(); });
    if (failure.message.isEmpty())
        QCOMPARE(q.FieldByName(QStringLiteral("TTTYPES"))->text(), outcome);
    else
        QVERIFY2(failure.message.contains(outcome), qPrintable(failure.message));
    QCOMPARE(retriesOf(dialogs), retries);
    QCOMPARE(m_server->run(QStringLiteral("ALTER ROLE login_secretariat PASSWORD 'bon'")), QString());
}

QTEST_MAIN(TestLogin)
#include "tst_login.moc"
