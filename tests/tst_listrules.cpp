#include "app/RememberedList.h"

#include <QTest>

// The rules of the drop-down list as plain functions: which memo lines a refresh pass
// adds, and where a statement takes its place in the sorted list.
class TestListRules : public QObject
{
    Q_OBJECT
private slots:
    void linesToAdd_data();
    void linesToAdd();
    void withLine_data();
    void withLine();
    void insertPositionKeepsListSorted_data();
    void insertPositionKeepsListSorted();
};

void TestListRules::linesToAdd_data()
{
    QTest::addColumn<QString>("memo");
    QTest::addColumn<QStringList>("listed");
    QTest::addColumn<QStringList>("added");
    QTest::newRow("empty memo") << "" << QStringList() << QStringList();
    QTest::newRow("a line repeated later is offered once, the pass goes on")
        << "S1\r\nS2\r\nS1\r\nS3\r\n"
        << QStringList() << QStringList { "S1", "S2", "S3" };
    QTest::newRow("a listed line is passed over")
        << "S1\r\nS2\r\nS3" << QStringList { "S2" } << QStringList { "S1", "S3" };
    QTest::newRow("first line listed, the next ones still added") << "S1\r\nS9\r\n"
                                                                  << QStringList { "S1" } << QStringList { "S9" };
    QTest::newRow("every line listed adds nothing") << "S1\r\nS2\r\nS1\r\n"
                                                    << QStringList { "S2", "S1" } << QStringList();
    QTest::newRow("case and trailing blank make other statements")
        << "s1\r\nS1 \r\nS1\r\n"
        << QStringList() << QStringList { "s1", "S1 ", "S1" };
    QTest::newRow("empty line added once, the pass goes on past the second")
        << "A\r\n\r\nB\r\n\r\nC\r\n"
        << QStringList() << QStringList { "A", "", "B", "C" };
    QTest::newRow("empty item already listed, the empty line is passed over")
        << "\r\nA\r\n"
        << QStringList { "" } << QStringList { "A" };
    QTest::newRow("only the final line break ends the text") << "A\r\n\r\n" << QStringList() << QStringList { "A", "" };
}

void TestListRules::linesToAdd()
{
    QFETCH(QString, memo);
    QFETCH(QStringList, listed);
    QFETCH(QStringList, added);
    const QSet<QString> set(listed.begin(), listed.end());
    QCOMPARE(RememberedList::linesToAdd(RememberedList::memoLines(memo), set), added);
}

void TestListRules::withLine_data()
{
    QTest::addColumn<QString>("memo");
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("expected");
    QTest::newRow("empty memo") << ""
                                << "S1"
                                << "S1\r\n";
    QTest::newRow("after a final line break") << "S1\r\n"
                                              << "S2"
                                              << "S1\r\nS2\r\n";
    QTest::newRow("last line without a break gets one") << "S1"
                                                        << "S2"
                                                        << "S1\r\nS2\r\n";
    QTest::newRow("empty line kept") << "S1\r\n\r\n"
                                     << ""
                                     << "S1\r\n\r\n\r\n";
    QTest::newRow("line already there added again") << "S1\r\n"
                                                    << "S1"
                                                    << "S1\r\nS1\r\n";
}

void TestListRules::withLine()
{
    QFETCH(QString, memo);
    QFETCH(QString, line);
    QFETCH(QString, expected);
    QCOMPARE(RememberedList::withLine(memo, line), expected);
}

void TestListRules::insertPositionKeepsListSorted_data()
{
    QTest::addColumn<QStringList>("inserted");
    QTest::newRow("case variants") << QStringList { "b", "B", "a", "A", "b ", "ab", "Ab", "aB", "" };
    QTest::newRow("accents and digits") << QStringList { "é", "e", "E", "f", "10", "9", "1", "Z", "z", "É" };
    QTest::newRow("already in order") << QStringList { "a", "b", "c", "d", "e", "f", "g" };
    QTest::newRow("reverse order") << QStringList { "g", "f", "e", "d", "c", "b", "a" };
}

void TestListRules::insertPositionKeepsListSorted()
{
    // Each statement goes where a walk from the start would put it: after every item
    // that does not sort after it.
    QFETCH(QStringList, inserted);
    QStringList items;
    for (const QString& text : inserted) {
        int walked = 0;
        while (walked < items.size() && !RememberedList::sortsBefore(text, items[walked]))
            ++walked;
        const int found = RememberedList::insertPosition(int(items.size()), text, [&](int i) { return items[i]; });
        QCOMPARE(found, walked);
        items.insert(found, text);
    }
    for (qsizetype i = 1; i < items.size(); ++i)
        QVERIFY2(!RememberedList::sortsBefore(items[i], items[i - 1]), qPrintable(items.join(u'|')));
}

QTEST_APPLESS_MAIN(TestListRules)
#include "tst_listrules.moc"
