#include "FileFailures.h"
#include "Golden.h"
#include "ScriptedDialogs.h"
#include "TestDatabase.h"
#include "app/ClipBoard.h"

#include <QAction>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QPrinter>
#include <QPrinterInfo>
#include <QRegularExpression>
#include <QTest>
#include <QTextEdit>
#include <QToolButton>

// The capture editor through its buttons and menu: appending, erasing, saving to a
// text file, printing to PDF, hiding.
class TestClipBoard : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { initTestEnvironment(); }

    void controlsAreNamedAndPlaced_data();
    void controlsAreNamedAndPlaced();
    void savedBytes_data();
    void savedBytes();
    void eraseAsksFirst_data();
    void eraseAsksFirst();
    void saveDialogOffersTheLastFile();
    void saveOverExistingFile_data();
    void saveOverExistingFile();
    void failedSaveOnFullDisk();
    void printsToPdf_data();
    void printsToPdf();
    void linesWrapBeforeFirstShow();
    void closingOnlyHides_data();
    void closingOnlyHides();
    void popupMenuEditsTheSelection();
};

namespace
{

const QString kCaption = QStringLiteral("Edition des captures");

QString savedCaption(const QString& path)
{
    return kCaption + QStringLiteral(" [") + QDir::toNativeSeparators(path) + QLatin1Char(']');
}

// Shows the editor and waits for it, as the query window's view button does.
void showAndWait(TFicheClip& editor)
{
    editor.showEditor();
    QVERIFY(QTest::qWaitForWindowExposed(&editor));
}

// Saves through the button, the dialog answering path.
void saveAs(TFicheClip& editor, ScriptedDialogs& dialogs, const QString& path)
{
    dialogs.saveAnswers << Dialogs::SaveFileResult { path, 1 };
    QTest::mouseClick(editor.ToolButtonSauver, Qt::LeftButton);
}

// "capture:TEXT" appends TEXT as the query window does; "type:TEXT" types TEXT at the
// end of the editor; "return" presses Return there.
void play(TFicheClip& editor, const QStringList& steps)
{
    for (const QString& step : steps) {
        if (step.startsWith(QLatin1String("capture:"))) {
            editor.AppendLine(step.mid(8));
            continue;
        }
        QTest::keyClick(editor.RichEditClipBoard, Qt::Key_End, Qt::ControlModifier);
        if (step == QLatin1String("return"))
            QTest::keyClick(editor.RichEditClipBoard, Qt::Key_Return);
        else
            QTest::keyClicks(editor.RichEditClipBoard, step.mid(5));
    }
}

int pdfPages(const QString& path)
{
    static const QRegularExpression page(QStringLiteral("/Type\\s*/Page(?!s)"));
    return int(QString::fromLatin1(fileBytes(path)).count(page));
}

} // namespace

void TestClipBoard::controlsAreNamedAndPlaced_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("hint");
    QTest::addColumn<QString>("accessibleName");
    QTest::newRow("top bevel") << "BevelHautClipBoard" << QRect(0, 0, 792, 2) << ""
                               << "";
    QTest::newRow("tool bar") << "ToolBarClipBoard" << QRect(0, 2, 792, 22) << ""
                              << "";
    QTest::newRow("quit") << "ToolButtonQuitter" << QRect(0, 0, 26, 22) << "Fermer la fenêtre"
                          << "Fermer la fenêtre";
    QTest::newRow("erase") << "ToolButtonEffacer" << QRect(26, 0, 26, 22) << "Effacer le texte"
                           << "Effacer le texte";
    QTest::newRow("save") << "ToolButtonSauver" << QRect(52, 0, 26, 22) << "Sauvegarder le texte"
                          << "Sauvegarder le texte";
    QTest::newRow("print") << "ToolButtonImprimer" << QRect(78, 0, 26, 22) << "Imprimer le texte"
                           << "Imprimer le texte";
    QTest::newRow("mail") << "ToolButtonMail" << QRect(104, 0, 26, 22) << "Envoyer par E-Mail"
                          << "Envoyer par E-Mail";
    QTest::newRow("bottom bevel") << "BevelBasClipBoard" << QRect(0, 24, 792, 2) << ""
                                  << "";
    QTest::newRow("editor") << "RichEditClipBoard" << QRect(0, 26, 792, 547) << ""
                            << "Texte des captures";
}

void TestClipBoard::controlsAreNamedAndPlaced()
{
    QFETCH(QString, name);
    QFETCH(QRect, geometry);
    QFETCH(QString, hint);
    QFETCH(QString, accessibleName);
    TFicheClip editor;
    QCOMPARE(editor.windowTitle(), kCaption);
    QCOMPARE(editor.minimumSize(), QSize(792, 573));
    QCOMPARE(editor.maximumSize(), QSize(792, 573));
    const auto* control = editor.findChild<QWidget*>(name);
    QVERIFY(control);
    QCOMPARE(control->geometry(), geometry);
    QCOMPARE(control->toolTip(), hint);
    QCOMPARE(control->accessibleName(), accessibleName);
}

void TestClipBoard::savedBytes_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("empty editor") << QStringList {} << QByteArray();
    QTest::newRow("capture into empty text") << QStringList { "capture:a" } << QByteArray("a\r\n");
    QTest::newRow("capture after a line break") << QStringList { "capture:a", "capture:b" } << QByteArray("a\r\nb\r\n");
    QTest::newRow("capture after a typed line") << QStringList { "type:xyz", "capture:b" } << QByteArray("xyz\r\nb");
    QTest::newRow("typed last line, no final break")
        << QStringList { "capture:a", "type:fin" } << QByteArray("a\r\nfin");
    QTest::newRow("typed line ended by Return")
        << QStringList { "type:xyz", "return", "capture:b" } << QByteArray("xyz\r\nb\r\n");
    QTest::newRow("empty capture") << QStringList { "capture:", "capture:" } << QByteArray("\r\n\r\n");
    QTest::newRow("multi-line capture") << QStringList { "capture:l1\r\nl2" } << QByteArray("l1\r\nl2\r\n");
    QTest::newRow("bare LF in a capture") << QStringList { "capture:l1\nl2" } << QByteArray("l1\r\nl2\r\n");
    QTest::newRow("Windows-1252") << QStringList { "capture:Hélène € œ 中" }
                                  << QByteArray("H\xe9l\xe8ne \x80 \x9c ?\r\n");
    QTest::newRow("wrapped line saved whole")
        << QStringList { "capture:" + QString(400, u'x') } << QByteArray(400, 'x') + "\r\n";
}

void TestClipBoard::savedBytes()
{
    QFETCH(QStringList, steps);
    QFETCH(QByteArray, bytes);
    TFicheClip editor;
    showAndWait(editor);
    ScriptedDialogs dialogs;
    play(editor, steps);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("captures.txt"));
    saveAs(editor, dialogs, path);
    QCOMPARE(dialogs.messageTexts(), QStringList());
    QVERIFY(QFile::exists(path));
    QCOMPARE(fileBytes(path), bytes);
    QCOMPARE(editor.windowTitle(), savedCaption(path));
}

void TestClipBoard::eraseAsksFirst_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<QString>("text");
    QTest::newRow("OK") << 0 << "";
    QTest::newRow("Annuler, Escape or closed") << 1 << "a\r\nb\r\n";
}

void TestClipBoard::eraseAsksFirst()
{
    QFETCH(int, answer);
    QFETCH(QString, text);
    TFicheClip editor;
    showAndWait(editor);
    ScriptedDialogs dialogs;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("c.txt"));
    editor.AppendLine(QStringLiteral("a"));
    editor.AppendLine(QStringLiteral("b"));
    saveAs(editor, dialogs, path);
    dialogs.messageAnswers << answer;
    QTest::mouseClick(editor.ToolButtonEffacer, Qt::LeftButton);
    const auto boxes = dialogs.callsOf(QStringLiteral("message"));
    QCOMPARE(boxes.size(), 1);
    const Dialogs::MessageBox& box = boxes.constFirst().message;
    QCOMPARE(box.caption, QStringLiteral("Confirmation"));
    QCOMPARE(box.text, QStringLiteral("Effacer le texte ?"));
    QCOMPARE(box.icon, Dialogs::Icon::Question);
    QCOMPARE(box.buttons, QStringList({ "OK", "Annuler" }));
    QCOMPARE(box.defaultButton, 0);
    QCOMPARE(box.escapeButton, 1);
    QCOMPARE(editor.plainText(), text);
    QCOMPARE(editor.windowTitle(), savedCaption(path));
}

void TestClipBoard::saveDialogOffersTheLastFile()
{
    TFicheClip editor;
    ScriptedDialogs dialogs;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("c.txt"));
    editor.AppendLine(QStringLiteral("a"));
    QTest::mouseClick(editor.ToolButtonSauver, Qt::LeftButton); // cancelled
    QCOMPARE(editor.windowTitle(), kCaption);
    dialogs.saveAnswers << Dialogs::SaveFileResult { path, 2 };
    QTest::mouseClick(editor.ToolButtonSauver, Qt::LeftButton);
    QTest::mouseClick(editor.ToolButtonSauver, Qt::LeftButton); // cancelled
    QCOMPARE(editor.windowTitle(), savedCaption(path));
    QCOMPARE(fileBytes(path), QByteArray("a\r\n"));

    const auto calls = dialogs.callsOf(QStringLiteral("save"));
    QCOMPARE(calls.size(), 3);
    const Dialogs::SaveFile& first = calls[0].save;
    QCOMPARE(first.title, QStringLiteral("Sauvegarder les captures"));
    QCOMPARE(first.filters, QStringList({ "Fichiers textes (*.txt)", "Tous (*.*)" }));
    QCOMPARE(first.filterIndex, 1);
    QCOMPARE(first.defaultSuffix, QStringLiteral("txt"));
    QCOMPARE(first.directory, QDir(QStringLiteral("C:/")).exists() ? QStringLiteral("C:\\") : QDir::homePath());
    QCOMPARE(first.fileName, QString());
    QCOMPARE(calls[2].save.fileName, path);
    QCOMPARE(calls[2].save.filterIndex, 2);
}

void TestClipBoard::saveOverExistingFile_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("error");
    QTest::newRow("replaces it") << "old.txt"
                                 << "";
    QTest::newRow("missing folder") << "absent/old.txt"
                                    << "Nom de fichier incorrect.";
    QTest::newRow("path through a regular file") << "old.txt/old.txt"
                                                 << "Nom de fichier incorrect.";
    QTest::newRow("a folder") << "folder"
                              << "Ne peut écrire dans %1/folder : c'est un dossier.";
}

// A failed save leaves the file there, the caption and the text as they were.
void TestClipBoard::saveOverExistingFile()
{
    QFETCH(QString, target);
    QFETCH(QString, error);
    TFicheClip editor;
    ScriptedDialogs dialogs;
    QTemporaryDir dir;
    const QString old = dir.filePath(QStringLiteral("old.txt"));
    const QByteArray oldBytes("ancien contenu plus long que le nouveau\r\n");
    QVERIFY(writeFile(old, oldBytes));
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder")));
    editor.AppendLine(QStringLiteral("a"));
    saveAs(editor, dialogs, dir.filePath(QStringLiteral("first.txt")));
    const QString caption = editor.windowTitle();

    editor.AppendLine(QStringLiteral("é"));
    saveAs(editor, dialogs, dir.filePath(target));
    QCOMPARE(editor.plainText(), QStringLiteral("a\r\né\r\n"));
    const QStringList files = QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    QCOMPARE(files, QStringList({ "first.txt", "folder", "old.txt" }));
    if (error.isEmpty()) {
        QCOMPARE(dialogs.callsOf(QStringLiteral("message")).size(), 0);
        QCOMPARE(fileBytes(old), QByteArray("a\r\n\xe9\r\n"));
        QCOMPARE(editor.windowTitle(), savedCaption(old));
        return;
    }
    QCOMPARE(
        dialogs.messageTexts(), QStringList(QDir::toNativeSeparators(error.replace(QStringLiteral("%1"), dir.path()))));
    QCOMPARE(dialogs.calls.constLast().message.caption, QStringLiteral("VeloSQL"));
    QCOMPARE(fileBytes(old), oldBytes);
    QCOMPARE(editor.windowTitle(), caption);
}

// On a 64 KiB disk of its own (as root).
void TestClipBoard::failedSaveOnFullDisk()
{
    SmallDisk disk(64 * 1024);
    if (!disk.available())
        QSKIP(qPrintable(disk.error()));
    TFicheClip editor;
    ScriptedDialogs dialogs;
    const QString old = disk.filePath(QStringLiteral("captures.txt"));
    QVERIFY(writeFile(old, "ancien\r\n"));
    editor.AppendLine(QStringLiteral("xxxxxxxxx ").repeated(20000));
    saveAs(editor, dialogs, old);
    QCOMPARE(dialogs.messageTexts(), QStringList(QStringLiteral("Erreur E/S 28.")));
    QCOMPARE(fileBytes(old), QByteArray("ancien\r\n"));
    QCOMPARE(disk.entries(), QStringList(QStringLiteral("captures.txt")));
    QCOMPARE(editor.windowTitle(), kCaption);
    QCOMPARE(editor.plainText().size(), 200002);
}

void TestClipBoard::printsToPdf_data()
{
    QTest::addColumn<bool>("confirmed");
    QTest::addColumn<bool>("filled");
    QTest::addColumn<int>("extraLines"); // beyond what the printable height holds
    QTest::addColumn<QString>("output");
    QTest::addColumn<int>("pages");
    QTest::addColumn<QString>("error");
    QTest::newRow("cancelled") << false << true << 0 << "captures.pdf" << 0 << "";
    QTest::newRow("empty editor") << true << false << 0 << "captures.pdf" << 1 << "";
    QTest::newRow("a page filled to its foot") << true << true << -2 << "captures.pdf" << 1 << "";
    QTest::newRow("a page and a bit") << true << true << 2 << "captures.pdf" << 2 << "";
    QTest::newRow("output that cannot be written")
        << true << false << 0 << "absent/captures.pdf" << 0 << "L'impression n'a pas pu être terminée.";
    QTest::newRow("no printer installed and no PDF file chosen")
        << true << true << 0 << "" << 0
        << "Impossible d'imprimer : aucune imprimante n'est installée. Choisissez l'impression dans un fichier PDF.";
}

// The text fills the printable area with no margin of its own: a page holds as many
// lines as the printable height allows.
void TestClipBoard::printsToPdf()
{
    QFETCH(bool, confirmed);
    QFETCH(bool, filled);
    QFETCH(int, extraLines);
    QFETCH(QString, output);
    QFETCH(int, pages);
    QFETCH(QString, error);
    TFicheClip editor;
    showAndWait(editor);
    ScriptedDialogs dialogs;
    QTemporaryDir dir;
    const QString pdf = dir.filePath(output);
    const bool noPrinter = QPrinterInfo::availablePrinters().isEmpty();
    if (output.isEmpty() && !noPrinter)
        QSKIP("a printer is installed here");
    auto setUp = [&](QPrinter& printer) {
        if (output.isEmpty())
            return;
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
        printer.setPageSize(QPageSize(QPageSize::A4));
        printer.setPageMargins(QMarginsF(10, 10, 10, 10), QPageLayout::Millimeter);
    };
    if (filled) {
        QPrinter probe(QPrinter::HighResolution);
        setUp(probe);
        const QWidget* screen = editor.RichEditClipBoard->viewport();
        const qreal height = qreal(probe.height()) * screen->logicalDpiY() / probe.logicalDpiY();
        const int linesPerPage = int(height / QFontMetrics(editor.RichEditClipBoard->font(), screen).height());
        QVERIFY(linesPerPage > 40);
        // Each capture ends its line: the empty line after the last one counts too.
        for (int i = 1; i < linesPerPage + extraLines; ++i)
            editor.AppendLine(QStringLiteral("ligne %1").arg(i));
    }
    dialogs.printAnswers << [&](QPrinter& printer) {
        setUp(printer);
        return confirmed;
    };
    QTest::mouseClick(editor.ToolButtonImprimer, Qt::LeftButton);
    QCOMPARE(dialogs.messageTexts(), error.isEmpty() ? QStringList() : QStringList(error));
    const auto calls = dialogs.callsOf(QStringLiteral("print"));
    QCOMPARE(calls.size(), 1);
    const Dialogs::PrintSetup& setup = calls.constFirst().print;
    // A PDF file is offered where there is no printer to list.
    QCOMPARE(setup.allowPrintToFile, noPrinter);
    QVERIFY(!setup.allowSelection && !setup.allowPageRange);
    QVERIFY(setup.allowCopies && setup.collateCopies);
    QCOMPARE(pdfPages(pdf), pages);
}

// Captures arrive while the editor has never been shown; its lines are already those
// of the window on screen.
void TestClipBoard::linesWrapBeforeFirstShow()
{
    TFicheClip hidden;
    TFicheClip shown;
    showAndWait(shown);
    for (TFicheClip* editor : { &hidden, &shown }) {
        editor->AppendLine(QStringLiteral("courte"));
        editor->AppendLine(QStringLiteral("longue ").repeated(60));
    }
    QVERIFY(shown.laidOutLines().size() > 3);
    QCOMPARE(hidden.laidOutLines(), shown.laidOutLines());
}

void TestClipBoard::closingOnlyHides_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("quit button") << "button";
    QTest::newRow("close box") << "close";
    QTest::newRow("Escape in the text") << "Escape";
}

void TestClipBoard::closingOnlyHides()
{
    QFETCH(QString, how);
    TFicheClip editor;
    ScriptedDialogs dialogs;
    QTemporaryDir dir;
    showAndWait(editor);
    editor.AppendLine(QStringLiteral("capture"));
    saveAs(editor, dialogs, dir.filePath(QStringLiteral("c.txt")));
    const QString caption = editor.windowTitle();
    if (how == QLatin1String("button"))
        QTest::mouseClick(editor.ToolButtonQuitter, Qt::LeftButton);
    else if (how == QLatin1String("Escape"))
        QTest::keyClick(editor.RichEditClipBoard, Qt::Key_Escape);
    else
        QVERIFY(editor.close());
    QVERIFY(editor.isHidden());
    editor.AppendLine(QStringLiteral("pendant"));
    showAndWait(editor);
    QCOMPARE(editor.plainText(), QStringLiteral("capture\r\npendant\r\n"));
    QCOMPARE(editor.windowTitle(), caption);
    QCOMPARE(editor.focusWidget(), editor.RichEditClipBoard);
}

void TestClipBoard::popupMenuEditsTheSelection()
{
    TFicheClip editor;
    showAndWait(editor);
    QCOMPARE(editor.DefaireClipBoard->text(), QStringLiteral("&Défaire"));
    QCOMPARE(editor.CouperClipBoard->text(), QStringLiteral("&Couper"));
    QCOMPARE(editor.CopierClipBoard->text(), QStringLiteral("Co&pier"));
    QCOMPARE(editor.CollerClipBoard->text(), QStringLiteral("C&oller"));
    QTest::keyClicks(editor.RichEditClipBoard, QStringLiteral("un deux"));
    QTextCursor cursor = editor.RichEditClipBoard->textCursor();
    cursor.setPosition(0);
    cursor.setPosition(2, QTextCursor::KeepAnchor);
    editor.RichEditClipBoard->setTextCursor(cursor);
    editor.CopierClipBoard->trigger();
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("un"));
    editor.CouperClipBoard->trigger();
    QCOMPARE(editor.plainText(), QStringLiteral(" deux"));
    QTest::keyClick(editor.RichEditClipBoard, Qt::Key_End);
    editor.CollerClipBoard->trigger();
    QCOMPARE(editor.plainText(), QStringLiteral(" deuxun"));
    editor.DefaireClipBoard->trigger();
    QCOMPARE(editor.plainText(), QStringLiteral(" deux"));
}

QTEST_MAIN(TestClipBoard)
#include "tst_clipboard.moc"
