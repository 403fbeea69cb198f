#include "MemorySecretStore.h"
#include "PostgresServer.h"
#include "Raised.h"
#include "ScriptedDialogs.h"
#include "TestDatabase.h"
#include "app/DialogCredentials.h"
#include "engine/AliasSettings.h"
#include "engine/Credentials.h"
#include "engine/Databases.h"
#include "ui/LoginDialogs.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <memory>

// A password that the user asks to remember: kept in the system's store once the server
// took it, used at the next start without a prompt, replaced only by one that the
// server took, forgotten when the box is unchecked, never kept where no store answers.
// The logic against a store in memory; the system's store through QtKeychain in a
// Secret Service of the test's own (run under tests/keyring-session), or where none
// answers (VELOSQL_KEYRING=absent).
class TestKeyring : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();

    void rememberedPasswordServesUntilRefused_data();
    void rememberedPasswordServesUntilRefused();
    void rememberBoxSaysWhatTheStoreDoes_data();
    void rememberBoxSaysWhatTheStoreDoes();

    void systemStoreKeepsReplacesAndForgets();
    void systemStoreRoundTripAgainstServer();
};

namespace
{
const QString kUser = QStringLiteral("trousseau_secretariat");

// "user:password" answers the prompt with the box unchecked, "user:password:+" with it
// checked; "annuler" cancels.
QList<std::optional<Login>> answersOf(const QStringList& script)
{
    QList<std::optional<Login>> answers;
    for (const QString& a : script) {
        const QStringList parts = a.split(QLatin1Char(':'));
        if (parts.size() < 2)
            answers << std::nullopt;
        else
            answers << Login { parts[0], parts[1], parts.value(2) == QLatin1String("+") };
    }
    return answers;
}

// Of each prompt shown: whether it said the server refused ("r") and whether its box
// came checked ("m"), as "r", "m", "rm" or "-", comma separated.
QString promptsOf(const ScriptedDialogs& dialogs)
{
    QStringList prompts;
    for (const auto& call : dialogs.callsOf(QStringLiteral("login"))) {
        QString p = QString(call.login.retry ? QStringLiteral("r") : QString())
            + (call.login.remembered ? QStringLiteral("m") : QString());
        prompts << (p.isEmpty() ? QStringLiteral("-") : p);
    }
    return prompts.join(QLatin1Char(','));
}

AliasSettings standInAlias()
{
    AliasSettings s;
    s.alias = QStringLiteral("Velorin");
    s.driver = QStringLiteral("QPSQL");
    s.host = QStringLiteral("serveur-cabinet");
    s.port = 5432;
    s.database = QStringLiteral("cabinet");
    s.user = kUser;
    return s;
}
} // namespace

void TestKeyring::initTestCase()
{
    initTestEnvironment();
}

void TestKeyring::cleanup()
{
    Databases::closeAll();
    QFile::remove(Databases::aliasesFile());
}

void TestKeyring::rememberedPasswordServesUntilRefused_data()
{
    QTest::addColumn<QString>("remembered"); // before; empty: none
    QTest::addColumn<QString>("store"); // "answers", "absent" (no store answers), "fails" (each call fails)
    QTest::addColumn<QStringList>("answers");
    QTest::addColumn<QString>("prompts"); // see promptsOf
    QTest::addColumn<QString>("kept"); // remembered after; empty: none
    QTest::addColumn<QString>("message"); // the connection's failure; empty: connected

    const QString cancelled = Credentials::loginCancelledMessage(QStringLiteral("Velorin"));
    QTest::newRow("box left unchecked: nothing kept")
        << "" << "answers" << QStringList { "trousseau_secretariat:bon" } << "-" << "" << "";
    QTest::newRow("box checked: kept once the server took it")
        << "" << "answers" << QStringList { "trousseau_secretariat:bon:+" } << "-" << "bon" << "";
    QTest::newRow("box checked on a refused password: only the one taken is kept")
        << "" << "answers" << QStringList { "trousseau_secretariat:faux:+", "trousseau_secretariat:bon:+" } << "-,r"
        << "bon"
        << "";
    QTest::newRow("box checked on passwords all refused: nothing kept")
        << "" << "answers" << QStringList { "trousseau_secretariat:faux:+", "trousseau_secretariat:pire:+" } << "-,r"
        << ""
        << "password authentication failed for user \"trousseau_secretariat\"";
    QTest::newRow("remembered: no prompt") << "bon"
                                           << "answers" << QStringList() << "" << "bon"
                                           << "";
    QTest::newRow("remembered but refused: the prompt says so, another one replaces it")
        << "vieux"
        << "answers" << QStringList { "trousseau_secretariat:bon:+" } << "rm"
        << "bon"
        << "";
    QTest::newRow("remembered but refused: kept while no other one is taken")
        << "vieux"
        << "answers" << QStringList { "trousseau_secretariat:faux:+", "annuler" } << "rm,rm" << "vieux" << cancelled;
    QTest::newRow("remembered but refused, box unchecked: forgotten")
        << "vieux"
        << "answers" << QStringList { "trousseau_secretariat:bon" } << "rm"
        << ""
        << "";
    QTest::newRow("no store answers: nothing read or kept")
        << "bon"
        << "absent" << QStringList { "trousseau_secretariat:bon:+" } << "-" << "bon"
        << "";
    QTest::newRow("the store fails: the login goes on, the failure told")
        << "" << "fails" << QStringList { "trousseau_secretariat:bon:+" } << "-" << "" << "";
}

void TestKeyring::rememberedPasswordServesUntilRefused()
{
    QFETCH(QString, remembered);
    QFETCH(QString, store);
    QFETCH(QStringList, answers);
    QFETCH(QString, prompts);
    QFETCH(QString, kept);
    QFETCH(QString, message);
    AliasSettings s = standInAlias();
    const QString key = Credentials::rememberedKey(s);
    MemorySecretStore secrets;
    if (!remembered.isEmpty())
        secrets.secrets.insert(key, remembered);
    if (store == QLatin1String("absent"))
        secrets.unavailableReason = QStringLiteral("Aucun trousseau");
    SecretStores::install(&secrets);
    CredentialsProvider* const program = Credentials::installed();
    DialogCredentials credentials;
    Credentials::install(&credentials);
    ScriptedDialogs dialogs;
    dialogs.loginAnswers = answersOf(answers);
    if (store == QLatin1String("fails"))
        secrets.failure = QStringLiteral("Le trousseau est verrouillé");
    // The stand-in server takes the user's password "bon" alone.
    const Raised failure = raised([&] {
        Credentials::connectWithLogin(s, [](const AliasSettings& tried) {
            if (tried.password.isEmpty())
                throw ELoginRefused(QStringLiteral("fe_sendauth: no password supplied"));
            if (tried.password != QLatin1String("bon"))
                throw ELoginRefused(
                    QStringLiteral("password authentication failed for user \"%1\"").arg(tried.user));
        });
    });
    Credentials::install(program);
    installSilentSecretStore();

    QCOMPARE(failure.message, message);
    QCOMPARE(promptsOf(dialogs), prompts);
    QCOMPARE(secrets.secrets.value(key), kept);
    QCOMPARE(secrets.secrets.size(), kept.isEmpty() ? 0 : 1);
    for (const auto& call : dialogs.callsOf(QStringLiteral("login")))
        QCOMPARE(call.login.storeUnavailable, secrets.unavailableReason);
    if (store == QLatin1String("absent"))
        QCOMPARE(secrets.calls, QStringList());
    // A store that fails is told of, in the login's caption, and the login goes on.
    const QStringList boxes = dialogs.messageTexts();
    QCOMPARE(boxes.size(), store == QLatin1String("fails") ? 2 : 0);
    for (const QString& box : boxes)
        QVERIFY2(box.endsWith(QStringLiteral("\nLe trousseau est verrouillé")), qPrintable(box));
}

void TestKeyring::rememberBoxSaysWhatTheStoreDoes_data()
{
    QTest::addColumn<bool>("remembered");
    QTest::addColumn<QString>("unavailable");
    QTest::addColumn<bool>("click"); // on the box before OK
    QTest::addColumn<bool>("remember"); // the answer's
    QTest::newRow("nothing remembered: unchecked") << false << "" << false << false;
    QTest::newRow("nothing remembered, checked by the user") << false << "" << true << true;
    QTest::newRow("remembered: checked") << true << "" << false << true;
    QTest::newRow("remembered, unchecked by the user") << true << "" << true << false;
    QTest::newRow("no store: disabled, with the reason")
        << true << "Aucun trousseau du système ne répond" << true << false;
}

void TestKeyring::rememberBoxSaysWhatTheStoreDoes()
{
    QFETCH(bool, remembered);
    QFETCH(QString, unavailable);
    QFETCH(bool, click);
    QFETCH(bool, remember);
    LoginDialog dialog({ QStringLiteral("Connexion base de données"), QStringLiteral("Velorin"), kUser, false,
        QString(), remembered, unavailable });
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    QCOMPARE(dialog.CaseMemoriser->text(), QStringLiteral("Mémoriser le mot de passe"));
    QCOMPARE(dialog.CaseMemoriser->isEnabled(), unavailable.isEmpty());
    QCOMPARE(dialog.LabelTrousseau->isVisible(), !unavailable.isEmpty());
    QCOMPARE(dialog.LabelTrousseau->text(), unavailable);
    // Below the fields, above the buttons.
    QVERIFY(dialog.CaseMemoriser->y() > dialog.EditMotDePasse->y());
    QVERIFY(dialog.CaseMemoriser->y() < dialog.ButtonOK->mapTo(&dialog, QPoint()).y());
    if (click)
        QTest::mouseClick(dialog.CaseMemoriser, Qt::LeftButton, {}, QPoint(5, dialog.CaseMemoriser->height() / 2));
    QTest::keyClicks(dialog.EditMotDePasse, QStringLiteral("bon"));
    QTest::keyClick(dialog.EditMotDePasse, Qt::Key_Return);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.login().remember, remember);
}

void TestKeyring::systemStoreKeepsReplacesAndForgets()
{
    const QString expected = qEnvironmentVariable("VELOSQL_KEYRING");
    if (expected.isEmpty())
        QSKIP("needs a Secret Service of the test's own: run under tests/keyring-session, or with "
              "VELOSQL_KEYRING=absent where none runs");
    SecretStore& store = SecretStores::system();
    if (expected == QLatin1String("absent")) {
        QVERIFY2(store.unavailable().startsWith(QStringLiteral("Aucun trousseau du système ne répond")),
            qPrintable(store.unavailable()));
        return;
    }
    QCOMPARE(store.unavailable(), QString());
    const QString key = QStringLiteral("Velorin essai@serveur-cabinet:5432/cabinet");
    QVERIFY(!store.read(key));
    store.write(key, QStringLiteral("premier é"));
    QCOMPARE(store.read(key), std::optional<QString>(QStringLiteral("premier é")));
    store.write(key, QStringLiteral("second"));
    QCOMPARE(store.read(key), std::optional<QString>(QStringLiteral("second")));
    // Keys differ by each of their parts.
    QVERIFY(!store.read(QStringLiteral("Velorin essai@serveur-cabinet:5433/cabinet")));
    store.forget(key);
    QVERIFY(!store.read(key));
    store.forget(key);
}

// The whole round trip against a real server, through the system's store: kept, used
// at the next start without a prompt, refused once the server's password changed, then
// replaced, and forgotten.
void TestKeyring::systemStoreRoundTripAgainstServer()
{
    if (qEnvironmentVariable("VELOSQL_KEYRING") != QLatin1String("session"))
        QSKIP("needs a Secret Service of the test's own: run under tests/keyring-session");
    PostgresServer server;
    if (!server.available()) {
        if (PostgresServer::required())
            QFAIL(qPrintable(server.error()));
        QSKIP(qPrintable(server.error()));
    }
    QCOMPARE(server.run(QStringLiteral("DROP ROLE IF EXISTS trousseau_secretariat;"
                                       "CREATE ROLE trousseau_secretariat LOGIN PASSWORD 'bon'")),
        QString());
    server.writeAlias(QStringLiteral("Velorin"), kUser, {}, false);
    SecretStores::install(nullptr);
    CredentialsProvider* const program = Credentials::installed();
    DialogCredentials credentials;
    Credentials::install(&credentials);
    const auto start = [](const QStringList& answers) {
        Databases::closeAll();
        auto dialogs = std::make_unique<ScriptedDialogs>();
        dialogs->loginAnswers = answersOf(answers);
        const Raised failure = raised([] { Databases::connect(QStringLiteral("Velorin")); });
        return std::pair(failure.message, promptsOf(*dialogs));
    };
    using Outcome = std::pair<QString, QString>;
    QCOMPARE(start({ "trousseau_secretariat:bon:+" }), Outcome(QString(), QStringLiteral("-")));
    QCOMPARE(start({}), Outcome(QString(), QString()));
    QCOMPARE(server.run(QStringLiteral("ALTER ROLE trousseau_secretariat PASSWORD 'neuf'")), QString());
    QCOMPARE(start({ "trousseau_secretariat:neuf:+" }), Outcome(QString(), QStringLiteral("rm")));
    QCOMPARE(start({}), Outcome(QString(), QString()));
    // Forgotten only through the prompt: the server refusing it brings the box back.
    QCOMPARE(server.run(QStringLiteral("ALTER ROLE trousseau_secretariat PASSWORD 'autre'")), QString());
    QCOMPARE(start({ "trousseau_secretariat:autre" }), Outcome(QString(), QStringLiteral("rm")));
    QCOMPARE(start({ "annuler" }).second, QStringLiteral("-"));
    Credentials::install(program);
    installSilentSecretStore();
    QCOMPARE(server.run(QStringLiteral("DROP ROLE trousseau_secretariat")), QString());
}

QTEST_MAIN(TestKeyring)
#include "tst_keyring.moc"
