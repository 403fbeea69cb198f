#include "ScriptedDialogs.h"
#include "TestDatabase.h"
#include "app/ClipBoard.h"
#include "output/mail/DesktopMail.h"
#include "output/mail/SimpleMapiMail.h"
#include "platform/Windows1252.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontMetrics>
#include <QTest>
#include <QTextEdit>
#include <QToolButton>

// Sending the capture editor's text by e-mail: the confirmation, the message handed
// to a fake Simple MAPI library built with the tests, and the desktop hand-off.
class TestMail : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { initTestEnvironment(); }

    void cancelledConfirmationLoadsNothing();
    void handsOverTheLaidOutLines_data();
    void handsOverTheLaidOutLines();
    void wrappedFirstLineGivesItsFirstPartAsSubject();
    void failureShowsEmptyErrorBox_data();
    void failureShowsEmptyErrorBox();
    void missingLibraryIsLookedForAgain_data();
    void missingLibraryIsLookedForAgain();
    void oneLoadForManySends();
    void desktopHandOff_data();
    void desktopHandOff();
};

namespace
{

const QString kQuestion = QStringLiteral("   Envoyer par E-Mail ?\r\rLa première ligne de votre\r"
                                         "   texte servira de sujet\r\rAppuyer sur <Echap> pour\r"
                                         " quitter la fenêtre d'E-Mail");

// Sets an environment variable for the lifetime of the object.
class EnvironmentVariable
{
public:
    EnvironmentVariable(const char* name, const QByteArray& value)
        : m_name(name)
        , m_old(qgetenv(name))
    {
        qputenv(name, value);
    }
    ~EnvironmentVariable() { qputenv(m_name, m_old); }

private:
    const char* m_name;
    QByteArray m_old;
};

// A folder where a copy of a fake MAPI32 library can be put, and the record it writes.
class FakeMapi
{
public:
    explicit FakeMapi(const QByteArray& result = "0")
        : m_log("VELOSQL_FAKEMAPI_LOG", m_dir.filePath(QStringLiteral("log")).toLocal8Bit())
        , m_result("VELOSQL_FAKEMAPI_RESULT", result)
    {
        QDir(m_dir.path()).mkdir(QStringLiteral("lib"));
    }
    QString folder() const { return m_dir.filePath(QStringLiteral("lib")); }
    void install(const QString& library) const
    {
        const QString target = QDir(folder()).filePath(QFileInfo(library).fileName());
        QFile::remove(target);
        QVERIFY(QFile::copy(library, target));
    }
    // "load", "unload", "call"
    QStringList events() const
    {
        QStringList kinds;
        for (const QString& line : lines())
            kinds << line.section(QLatin1Char(' '), 0, 0);
        return kinds;
    }
    // The fields of each call, by name; subject and note as the bytes received.
    QList<QHash<QString, QByteArray>> calls() const
    {
        QList<QHash<QString, QByteArray>> result;
        for (const QString& line : lines()) {
            if (!line.startsWith(QLatin1String("call ")))
                continue;
            QHash<QString, QByteArray> fields;
            for (const QString& field : line.mid(5).split(QLatin1Char(' '))) {
                const QString name = field.section(QLatin1Char('='), 0, 0);
                const QByteArray value = field.section(QLatin1Char('='), 1).toLatin1();
                fields[name] = (name == QLatin1String("subject") || name == QLatin1String("note"))
                    ? QByteArray::fromHex(value)
                    : value;
            }
            result << fields;
        }
        return result;
    }

private:
    QStringList lines() const
    {
        QFile f(m_dir.filePath(QStringLiteral("log")));
        if (!f.open(QIODevice::ReadOnly))
            return {};
        return QString::fromLatin1(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    QTemporaryDir m_dir;
    EnvironmentVariable m_log;
    EnvironmentVariable m_result;
};

// The capture editor on screen, sending through the binding given.
class Editor
{
public:
    explicit Editor(MailHandOff& mail)
    {
        editor.setMailHandOff(&mail);
        editor.showEditor();
        QVERIFY(QTest::qWaitForWindowExposed(&editor));
    }
    ~Editor() { editor.setMailHandOff(nullptr); }
    void clickMail() { QTest::mouseClick(editor.ToolButtonMail, Qt::LeftButton); }

    TFicheClip editor;
    ScriptedDialogs dialogs;
};

const QString kFakeMapi = QStringLiteral(FAKEMAPI_LIBRARY);
const QString kFakeMapiWithoutEntry = QStringLiteral(FAKEMAPI_NOENTRY_LIBRARY);

} // namespace

void TestMail::cancelledConfirmationLoadsNothing()
{
    FakeMapi fake;
    fake.install(kFakeMapi);
    {
        SimpleMapiMail binding(QStringLiteral("MAPI32"), fake.folder());
        Editor e(binding);
        e.editor.AppendLine(QStringLiteral("texte"));
        e.dialogs.messageAnswers << 1;
        e.clickMail();
        QCOMPARE(e.dialogs.calls.size(), 1);
        const Dialogs::MessageBox& box = e.dialogs.calls.constFirst().message;
        QCOMPARE(box.caption, QStringLiteral("Confirmation"));
        QCOMPARE(box.text, kQuestion);
        QCOMPARE(box.text.size(), 132);
        QCOMPARE(box.icon, Dialogs::Icon::Question);
        QCOMPARE(box.buttons, QStringList({ "OK", "Annuler" }));
        QCOMPARE(box.defaultButton, 0);
        QCOMPARE(box.escapeButton, 1);
    }
    QCOMPARE(fake.events(), QStringList());
}

void TestMail::handsOverTheLaidOutLines_data()
{
    QTest::addColumn<QStringList>("captures");
    QTest::addColumn<QByteArray>("subject");
    QTest::addColumn<QByteArray>("note");
    QTest::newRow("several lines") << QStringList { "Résultat du jour", "", "12 € ; œuvre" }
                                   << QByteArray("R\xe9sultat du jour")
                                   << QByteArray("R\xe9sultat du jour\r\n\r\n12 \x80 ; \x9cuvre\r\n");
    QTest::newRow("multi-line capture") << QStringList { "a\r\nb" } << QByteArray("a") << QByteArray("a\r\nb\r\n");
    QTest::newRow("empty editor") << QStringList {} << QByteArray() << QByteArray();
    QTest::newRow("one empty line") << QStringList { "" } << QByteArray() << QByteArray("\r\n");
}

void TestMail::handsOverTheLaidOutLines()
{
    QFETCH(QStringList, captures);
    QFETCH(QByteArray, subject);
    QFETCH(QByteArray, note);
    FakeMapi fake;
    fake.install(kFakeMapi);
    SimpleMapiMail binding(QStringLiteral("MAPI32"), fake.folder());
    Editor e(binding);
    for (const QString& capture : captures)
        e.editor.AppendLine(capture);
    e.clickMail();
    QCOMPARE(e.dialogs.calls.size(), 1); // the confirmation only
    const auto calls = fake.calls();
    QCOMPARE(calls.size(), 1);
    const auto& call = calls.constFirst();
    QCOMPARE(call["session"], QByteArray("0"));
    QCOMPARE(call["window"], QByteArray::number(quintptr(e.editor.winId())));
    QCOMPARE(call["flags"], QByteArray("11"));
    QCOMPARE(call["reserved"], QByteArray("0"));
    QCOMPARE(call["subject"], subject);
    QCOMPARE(call["note"], note);
    QCOMPARE(call["recips"], QByteArray("0"));
    QCOMPARE(call["files"], QByteArray("0"));
    QCOMPARE(call["others"], QByteArray("0"));
}

void TestMail::wrappedFirstLineGivesItsFirstPartAsSubject()
{
    FakeMapi fake;
    fake.install(kFakeMapi);
    SimpleMapiMail binding(QStringLiteral("MAPI32"), fake.folder());
    Editor e(binding);
    QString line;
    for (int i = 1; i <= 60; ++i)
        line += QStringLiteral("mot%1 ").arg(i, 3, 10, QLatin1Char('0'));
    line.chop(1);
    e.editor.AppendLine(line);
    e.editor.AppendLine(QStringLiteral("suite"));
    e.clickMail();
    const auto calls = fake.calls();
    QCOMPARE(calls.size(), 1);
    const QString subject = Windows1252::decode(calls.constFirst()["subject"]);
    QStringList parts = Windows1252::decode(calls.constFirst()["note"]).split(QStringLiteral("\r\n"));
    QCOMPARE(parts.takeLast(), QString());
    QCOMPARE(parts.takeLast(), QStringLiteral("suite"));
    QVERIFY(parts.size() >= 3);
    QCOMPARE(parts.constFirst(), subject);
    QCOMPARE(parts.join(QString()), line);
    const QFontMetrics metrics(e.editor.RichEditClipBoard->font());
    for (const QString& part : parts)
        QVERIFY(metrics.horizontalAdvance(part.trimmed()) <= e.editor.RichEditClipBoard->viewport()->width());
}

void TestMail::failureShowsEmptyErrorBox_data()
{
    QTest::addColumn<QByteArray>("result");
    QTest::newRow("success") << QByteArray("0");
    QTest::newRow("abandoned by the user") << QByteArray("1");
    QTest::newRow("other failure") << QByteArray("26");
}

void TestMail::failureShowsEmptyErrorBox()
{
    QFETCH(QByteArray, result);
    FakeMapi fake(result);
    fake.install(kFakeMapi);
    SimpleMapiMail binding(QStringLiteral("MAPI32"), fake.folder());
    Editor e(binding);
    e.editor.AppendLine(QStringLiteral("première"));
    e.editor.AppendLine(QStringLiteral("seconde"));
    QTextCursor selection = e.editor.RichEditClipBoard->textCursor();
    selection.setPosition(3);
    selection.setPosition(12, QTextCursor::KeepAnchor);
    e.editor.RichEditClipBoard->setTextCursor(selection);
    e.clickMail();
    QCOMPARE(fake.calls().size(), 1);
    QCOMPARE(e.dialogs.calls.size(), result == "0" ? 1 : 2);
    if (result != "0") {
        const Dialogs::MessageBox& box = e.dialogs.calls.constLast().message;
        QCOMPARE(box.caption, QStringLiteral("Erreur"));
        QCOMPARE(box.text, QString());
        QCOMPARE(box.icon, Dialogs::Icon::Error);
        QCOMPARE(box.buttons, QStringList(QStringLiteral("OK")));
    }
    QCOMPARE(e.editor.plainText(), QStringLiteral("première\r\nseconde\r\n"));
    QCOMPARE(e.editor.windowTitle(), QStringLiteral("Edition des captures"));
    QCOMPARE(e.editor.RichEditClipBoard->textCursor().anchor(), 3);
    QCOMPARE(e.editor.RichEditClipBoard->textCursor().position(), 12);
}

void TestMail::missingLibraryIsLookedForAgain_data()
{
    QTest::addColumn<QString>("present");
    QTest::newRow("no library") << QString();
    QTest::newRow("no entry point") << kFakeMapiWithoutEntry;
}

// Every attempt without a usable library shows the empty error box; a library put
// in place afterwards is found by the next attempt.
void TestMail::missingLibraryIsLookedForAgain()
{
    QFETCH(QString, present);
    FakeMapi fake;
    if (!present.isEmpty())
        fake.install(present);
    SimpleMapiMail binding(QStringLiteral("MAPI32"), fake.folder());
    Editor e(binding);
    e.editor.AppendLine(QStringLiteral("texte"));
    e.clickMail();
    e.clickMail();
    QCOMPARE(e.dialogs.calls.size(), 4);
    QCOMPARE(e.dialogs.calls[1].message.caption, QStringLiteral("Erreur"));
    QCOMPARE(e.dialogs.calls[3].message.caption, QStringLiteral("Erreur"));
    QCOMPARE(fake.calls().size(), 0);

    fake.install(kFakeMapi);
    e.clickMail();
    QCOMPARE(e.dialogs.calls.size(), 5);
    QCOMPARE(fake.calls().size(), 1);
    QCOMPARE(fake.calls().constFirst()["subject"], QByteArray("texte"));
}

void TestMail::oneLoadForManySends()
{
    FakeMapi fake;
    fake.install(kFakeMapi);
    {
        SimpleMapiMail binding(QStringLiteral("MAPI32"), fake.folder());
        Editor e(binding);
        e.clickMail();
        e.clickMail();
        e.clickMail();
        QCOMPARE(fake.events(), QStringList({ "load", "call", "call", "call" }));
    }
    QCOMPARE(fake.events().constLast(), QStringLiteral("unload"));
}

void TestMail::desktopHandOff_data()
{
    QTest::addColumn<bool>("installed");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<bool>("succeeds");
    QTest::newRow("compose window opened") << true << 0 << true;
    QTest::newRow("tool fails") << true << 3 << false;
    QTest::newRow("tool missing") << false << 0 << false;
}

// xdg-email stands in as a script on PATH that records its arguments.
void TestMail::desktopHandOff()
{
#ifdef Q_OS_WIN
    QSKIP("xdg-email is the hand-off of Unix desktops; Windows sends through Simple MAPI");
#endif
    QFETCH(bool, installed);
    QFETCH(int, exitCode);
    QFETCH(bool, succeeds);
    QTemporaryDir bin;
    const QString record = bin.filePath(QStringLiteral("arguments"));
    if (installed) {
        QFile script(bin.filePath(QStringLiteral("xdg-email")));
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\nprintf '%s\\0' \"$@\" > \"$VELOSQL_XDG_RECORD\"\nexit $VELOSQL_XDG_EXIT\n");
        script.close();
        QVERIFY(script.setPermissions(script.permissions() | QFileDevice::ExeOwner));
    }
    EnvironmentVariable path("PATH", bin.path().toLocal8Bit());
    EnvironmentVariable recordTo("VELOSQL_XDG_RECORD", record.toLocal8Bit());
    EnvironmentVariable exit("VELOSQL_XDG_EXIT", QByteArray::number(exitCode));

    DesktopMail mail;
    const unsigned result = mail.send(QStringLiteral("Sujet é"), QStringLiteral("l1\r\nl2\r\n"), nullptr);
    QCOMPARE(result == 0, succeeds);
    if (!installed)
        return;
    QCOMPARE(result, unsigned(exitCode));
    QFile f(record);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QList<QByteArray> arguments = f.readAll().split('\0');
    QCOMPARE(arguments, QList<QByteArray>({ "--subject", "Sujet \xc3\xa9", "--body", "l1\r\nl2\r\n", "" }));
}

QTEST_MAIN(TestMail)
#include "tst_mail.moc"
