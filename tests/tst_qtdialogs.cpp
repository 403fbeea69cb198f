#include "ui/QtDialogs.h"
#include "ui/FindDialog.h"
#include "ui/sql/ParametersDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QTest>

// Qt's own dialogs as the program sets them up, shown without being run: the
// caption a message box leaves room for, and the page range of the print dialog.
class TestQtDialogs : public QObject
{
    Q_OBJECT
private slots:
    void messageBoxLeavesRoomForCaption_data();
    void messageBoxLeavesRoomForCaption();
    void printDialogOffersPageRangeOnlyWhenAsked_data();
    void printDialogOffersPageRangeOnlyWhenAsked();
    void findDialogAnswersWhatIsTyped_data();
    void findDialogAnswersWhatIsTyped();
    void parametersDialogAnswersItsFields_data();
    void parametersDialogAnswersItsFields();
    void parametersDialogGrowsWithSystemFont();
};

void TestQtDialogs::messageBoxLeavesRoomForCaption_data()
{
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("buttons");
    QTest::addColumn<int>("icon");
    QTest::newRow("erase question") << "Confirmation"
                                    << "Effacer le texte ?" << QStringList { "OK", "Annuler" }
                                    << int(Dialogs::Icon::Question);
    QTest::newRow("list question") << "Confirmation"
                                   << " Enregistrer les modifications de la liste des requêtes ?"
                                   << QStringList { "Oui", "Non" } << int(Dialogs::Icon::None);
    QTest::newRow("start-up failure") << "Erreur de l'application"
                                      << "Exception EDatabaseError.\nno such table: ListBase." << QStringList { "OK" }
                                      << int(Dialogs::Icon::Error);
    QTest::newRow("short error") << "VeloSQL"
                                 << "Erreur." << QStringList { "OK" } << int(Dialogs::Icon::Error);
}

void TestQtDialogs::messageBoxLeavesRoomForCaption()
{
    QFETCH(QString, caption);
    QFETCH(QString, text);
    QFETCH(QStringList, buttons);
    QFETCH(int, icon);
    Dialogs::MessageBox box;
    box.caption = caption;
    box.text = text;
    box.buttons = buttons;
    box.icon = Dialogs::Icon(icon);
    QMessageBox mb;
    QCOMPARE(QtDialogs::setUp(mb, box).size(), buttons.size());
    mb.show();
    QVERIFY(QTest::qWaitForWindowExposed(&mb));
    // A title bar writes the caption in bold, beside the window's icon and three
    // buttons of about 28 pixels each (openbox cut "Confirmation" short with less).
    QFont titleFont = QApplication::font("QMdiSubWindowTitleBar");
    titleFont.setBold(true);
    const int needed = QFontMetrics(titleFont).horizontalAdvance(caption) + 4 * 28;
    QVERIFY2(mb.width() >= needed, qPrintable(QStringLiteral("%1 < %2").arg(mb.width()).arg(needed)));
    QCOMPARE(mb.windowTitle(), caption);
}

void TestQtDialogs::printDialogOffersPageRangeOnlyWhenAsked_data()
{
    QTest::addColumn<bool>("allowPageRange");
    QTest::addColumn<bool>("allowSelection");
    // The capture editor's print dialog.
    QTest::newRow("no page range") << false << false;
    QTest::newRow("no page range, selection") << false << true;
    QTest::newRow("page range") << true << false;
}

void TestQtDialogs::printDialogOffersPageRangeOnlyWhenAsked()
{
    QFETCH(bool, allowPageRange);
    QFETCH(bool, allowSelection);
#ifdef Q_OS_WIN
    QSKIP("the print dialog is the system's own on Windows, not Qt widgets");
#endif
    QPrinter printer(QPrinter::HighResolution);
    QPrintDialog dialog(&printer);
    Dialogs::PrintSetup setup;
    setup.allowPrintToFile = false;
    setup.allowSelection = allowSelection;
    setup.allowPageRange = allowPageRange;
    QtDialogs::setUp(dialog, setup);
    auto entriesEnabled = [&dialog] {
        QList<bool> enabled;
        for (const char* name : { "printRange", "pagesRadioButton" }) {
            auto* entry = dialog.findChild<QRadioButton*>(QLatin1String(name));
            if (entry)
                enabled << entry->isEnabled();
        }
        return enabled;
    };
    // Showing the dialog updates its entries, and so does a second showing.
    for (int showing = 0; showing < 2; ++showing) {
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        const QList<bool> enabled = entriesEnabled();
        QVERIFY(!enabled.isEmpty());
        QCOMPARE(enabled, QList<bool>(enabled.size(), allowPageRange));
        if (!allowPageRange)
            QVERIFY(dialog.findChild<QRadioButton*>(QStringLiteral("printAll"))->isChecked());
        dialog.hide();
    }
}

void TestQtDialogs::findDialogAnswersWhatIsTyped_data()
{
    QTest::addColumn<QString>("proposed");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("canSearch");
    QTest::newRow("last text proposed, selected, replaced by typing") << "Durand"
                                                                      << "Mar" << true;
    QTest::newRow("nothing to find in an empty text") << ""
                                                      << "" << false;
}

void TestQtDialogs::findDialogAnswersWhatIsTyped()
{
    QFETCH(QString, proposed);
    QFETCH(QString, typed);
    QFETCH(bool, canSearch);
    FindDialog dialog({ proposed, true });
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Rechercher"));
    QCOMPARE(dialog.CheckBoxCasse->text(), QStringLiteral("Respecter la casse"));
    QVERIFY(dialog.CheckBoxCasse->isChecked());
    QTest::keyClicks(dialog.EditTexte, typed);
    if (typed.isEmpty())
        QTest::keyClick(dialog.EditTexte, Qt::Key_Backspace);
    QTest::mouseClick(dialog.CheckBoxCasse, Qt::LeftButton);
    QCOMPARE(dialog.ButtonRechercher->isEnabled(), canSearch);
    QCOMPARE(dialog.find().text, typed);
    QVERIFY(!dialog.find().caseSensitive);
}

void TestQtDialogs::parametersDialogAnswersItsFields_data()
{
    QTest::addColumn<QString>("typed"); // into the first field, replacing the value proposed
    QTest::addColumn<bool>("nullSecond"); // the second line's "NULL" clicked
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("Enter runs with what is typed") << "O'Brien; :x" << false << int(Qt::Key_Return) << true;
    QTest::newRow("an empty field is the empty text") << "" << false << int(Qt::Key_Enter) << true;
    QTest::newRow("NULL instead of the text") << "a" << true << int(Qt::Key_Return) << true;
    QTest::newRow("Escape cancels") << "a" << false << int(Qt::Key_Escape) << false;
}

void TestQtDialogs::parametersDialogAnswersItsFields()
{
    QFETCH(QString, typed);
    QFETCH(bool, nullSecond);
    QFETCH(int, key);
    QFETCH(bool, accepted);
    ParametersDialog dialog({ { QStringLiteral("nom"), { QStringLiteral("Durand"), false } },
        { QStringLiteral("n"), { QStringLiteral("12"), false } } });
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Paramètres de la requête"));
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    QCOMPARE(dialog.findChild<QLabel*>()->text(), QStringLiteral(":nom"));
    QCOMPARE(dialog.focusWidget(), dialog.EditsValeur[0]);
    QTest::keyClick(dialog.EditsValeur[0], Qt::Key_Backspace); // the proposed value is selected
    QTest::keyClicks(dialog.EditsValeur[0], typed);
    if (nullSecond)
        QTest::mouseClick(dialog.CheckBoxesNull[1], Qt::LeftButton);
    QCOMPARE(dialog.EditsValeur[1]->isEnabled(), !nullSecond);
    QTest::keyClick(dialog.EditsValeur[0], Qt::Key(key));
    QCOMPARE(dialog.result() == QDialog::Accepted, accepted);
    QVERIFY(!dialog.isVisible());
    const NamedValues expected { { QStringLiteral("nom"), { typed, false } },
        { QStringLiteral("n"), { QStringLiteral("12"), nullSecond } } };
    QCOMPARE(dialog.values(), expected);
}

// A window of the program's own: in the system's font, whatever its size, every text
// shown whole.
void TestQtDialogs::parametersDialogGrowsWithSystemFont()
{
    const QFont systemFont = QApplication::font();
    const auto restore = qScopeGuard([&] { QApplication::setFont(systemFont); });
    QList<QSize> sizes;
    for (const int points : { 9, 18 }) {
        QFont font = systemFont;
        font.setPointSize(points);
        QApplication::setFont(font);
        ParametersDialog dialog({ { QStringLiteral("date_de_la_dernière_visite"), {} }, { QStringLiteral("n"), {} } });
        dialog.show();
        QCOMPARE(dialog.font().pointSize(), points);
        QList<QWidget*> texts { dialog.ButtonExecuter, dialog.ButtonAnnuler, dialog.CheckBoxesNull[1],
            dialog.EditsValeur[1] };
        for (QLabel* label : dialog.findChildren<QLabel*>())
            texts << label;
        for (QWidget* w : texts) {
            QVERIFY2(w->width() >= w->sizeHint().width(), qPrintable(w->objectName()));
            QVERIFY2(w->height() >= w->sizeHint().height(), qPrintable(w->objectName()));
            // Not cut by the window either.
            QVERIFY(dialog.rect().contains(QRect(w->mapTo(&dialog, QPoint(0, 0)), w->size())));
        }
        sizes << dialog.size();
    }
    QVERIFY(sizes[1].width() > sizes[0].width() * 3 / 2);
    QVERIFY(sizes[1].height() > sizes[0].height());
}

QTEST_MAIN(TestQtDialogs)
#include "tst_qtdialogs.moc"
