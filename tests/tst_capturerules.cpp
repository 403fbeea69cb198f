#include "app/Capture.h"

#include <QTest>

// How the cell memo grows by "Ajouter cellule" and "Ajouter ligne", as plain values.
class TestCaptureRules : public QObject
{
    Q_OBJECT
private slots:
    void addCell_data();
    void addCell();
    void addRow_data();
    void addRow();
    void noFieldGivesNoText();
};

void TestCaptureRules::addCell_data()
{
    QTest::addColumn<QString>("memo");
    QTest::addColumn<QString>("separator");
    QTest::addColumn<QString>("cell");
    QTest::addColumn<QString>("expected");
    QTest::newRow("empty memo takes the cell alone") << ""
                                                     << ";"
                                                     << "x"
                                                     << "x";
    QTest::newRow("memo of blanks is not empty") << "  "
                                                 << ";"
                                                 << "x"
                                                 << "  ;x";
    QTest::newRow("empty separator") << "10,5"
                                     << ""
                                     << "Durand"
                                     << "10,5Durand";
    QTest::newRow("long separator") << "10,5"
                                    << " | "
                                    << "Durand"
                                    << "10,5 | Durand";
    QTest::newRow("line break separator") << "10,5"
                                          << "\r\n"
                                          << "Durand"
                                          << "10,5\r\nDurand";
    QTest::newRow("empty cell still adds the separator") << "a"
                                                         << ";"
                                                         << ""
                                                         << "a;";
    QTest::newRow("empty cell into empty memo") << ""
                                                << ";"
                                                << ""
                                                << "";
}

void TestCaptureRules::addCell()
{
    QFETCH(QString, memo);
    QFETCH(QString, separator);
    QFETCH(QString, cell);
    QFETCH(QString, expected);
    QCOMPARE(Capture::addCell(memo, separator, cell), expected);
}

void TestCaptureRules::addRow_data()
{
    QTest::addColumn<QString>("memo");
    QTest::addColumn<QString>("separator");
    QTest::addColumn<QStringList>("cells");
    QTest::addColumn<QString>("expected");
    QTest::newRow("row into empty memo") << ""
                                         << ";" << QStringList { "Martin", "10,5", "" } << "Martin;10,5;";
    QTest::newRow("row after memo") << "10,5"
                                    << ";" << QStringList { "Durand", "" } << "10,5;Durand;";
    QTest::newRow("empty separator") << ""
                                     << "" << QStringList { "Martin", "10,5" } << "Martin10,5";
    QTest::newRow("line break separator") << ""
                                          << "\r\n"
                                          << QStringList { "a", "b" } << "a\r\nb";
    // Only the first cell goes in without a separator, even when it is empty.
    QTest::newRow("empty first cell into empty memo") << ""
                                                      << ";" << QStringList { "", "b" } << ";b";
    QTest::newRow("no cells leaves the memo") << "m"
                                              << ";" << QStringList() << "m";
}

void TestCaptureRules::addRow()
{
    QFETCH(QString, memo);
    QFETCH(QString, separator);
    QFETCH(QStringList, cells);
    QFETCH(QString, expected);
    QCOMPARE(Capture::addRow(memo, separator, cells), expected);
}

void TestCaptureRules::noFieldGivesNoText()
{
    QVERIFY(Capture::cellText(nullptr).isNull());
}

QTEST_GUILESS_MAIN(TestCaptureRules)
#include "tst_capturerules.moc"
