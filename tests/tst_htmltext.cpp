#include "ExportedFiles.h"
#include "QueryFixture.h"
#include "export/ClipboardTable.h"
#include "platform/Windows1252.h"

#include <QHash>
#include <QTest>

namespace
{

// HTML text as a browser reads it: the entities of markup and numeric references.
QString readAsBrowser(const QString& html)
{
    QString text;
    for (qsizetype i = 0; i < html.size();) {
        if (html[i] != u'&') {
            text += html[i++];
            continue;
        }
        const qsizetype end = html.indexOf(u';', i);
        const QString name = html.mid(i + 1, end - i - 1);
        if (name.startsWith(u'#')) {
            const char32_t cp = name.mid(1).toUInt();
            text += QString::fromUcs4(&cp, 1);
        } else {
            static const QHash<QString, QChar> named { { "amp", u'&' }, { "lt", u'<' }, { "gt", u'>' },
                { "quot", u'"' } };
            text += named.value(name, u'?');
        }
        i = end + 1;
    }
    return text;
}

// The content of the first element between open and close.
QString between(const QString& document, const QString& open, const QString& close)
{
    const qsizetype start = document.indexOf(open) + open.size();
    return document.mid(start, document.indexOf(close, start) - start);
}

} // namespace

// One cell, one text: the HTML export and the clipboard's table show a cell's text the
// same, the characters that HTML text may not hold as U+FFFD.
class TestHtmlText : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { initTestEnvironment(); }

    void cellReadsTheSameInBothOutputs_data();
    void cellReadsTheSameInBothOutputs();
};

void TestHtmlText::cellReadsTheSameInBothOutputs_data()
{
    QTest::addColumn<QString>("value"); // in SQLite's words
    QTest::addColumn<QString>("text"); // as a browser shows it
    const QString r = QStringLiteral("\uFFFD");
    QTest::newRow("tab kept") << "'a' || char(9) || 'b'"
                              << "a\tb";
    QTest::newRow("NUL") << "'a' || char(0) || 'b'"
                         << "a" + r + "b";
    QTest::newRow("vertical tab and form feed") << "char(11, 12)" << r + r;
    QTest::newRow("other control characters") << "char(1, 27, 31)" << r + r + r;
    QTest::newRow("DEL") << "'a' || char(127)"
                         << "a" + r;
    QTest::newRow("C1 controls") << "char(128, 133, 159)" << r + r + r;
    QTest::newRow("C1 controls that Windows-1252 leaves unassigned")
        << "char(129, 141, 143, 144, 157)" << r + r + r + r + r;
    QTest::newRow("noncharacters") << "char(64976, 65007, 65534, 65535, 131070, 1114111)" << r + r + r + r + r + r;
    QTest::newRow("characters beside them kept") << "char(160, 64975, 65008, 65532, 65533, 131069)"
                                                 << QStringLiteral("\u00A0\uFDCF\uFDF0\uFFFC\uFFFD\U0001FFFD");
    QTest::newRow("markup") << "'<b>&\"x\"'"
                            << "<b>&\"x\"";
    QTest::newRow("outside the code page") << "'€ Ł 😀'"
                                           << "€ Ł 😀";
}

void TestHtmlText::cellReadsTheSameInBothOutputs()
{
    QFETCH(QString, value);
    QFETCH(QString, text);
    QueryFixture f(QStringLiteral("CREATE TABLE t (v TEXT); INSERT INTO t VALUES (%1)").arg(value));
    // The HTML export, on its direct path and through the cell callback's texts.
    const QByteArray direct = htmlDocument(f.query);
    QCOMPARE(htmlDocument(f.query, [](QObject*, int, int, const QString&, QString&, QString&) {}), direct);
    const QString exported = Windows1252::decode(direct);
    QCOMPARE(readAsBrowser(between(exported, QStringLiteral("<td nowrap  >"), QStringLiteral(" </td>"))), text);
    // The clipboard's table.
    const ClipboardTable copied = ClipboardTable::of(f.query, { 0 }, qsizetype(1) << 30);
    QCOMPARE(readAsBrowser(between(copied.html, QStringLiteral("<td>"), QStringLiteral("</td>"))), text);
}

QTEST_MAIN(TestHtmlText)
#include "tst_htmltext.moc"
