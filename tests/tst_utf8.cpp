#include "platform/Utf8.h"

#include <QRandomGenerator>
#include <QTest>

namespace
{

// Bytes where UTF-8's rules change: ASCII, the ends of the continuation ranges, the
// leads that can only start overlong forms (C0, C1, E0, F0) or surrogates (ED) or
// code points above U+10FFFF (F4 on, F5 to FF), and the lead of a byte order mark.
const QByteArray kEdgeBytes("\x00\x41\x7F\x80\x8F\x90\x9F\xA0\xBB\xBF\xC0\xC1\xC2\xDF\xE0\xE1\xEC\xED\xEE\xEF\xF0\xF1"
                            "\xF3\xF4\xF5\xFF",
    26);

QString replacements(int count)
{
    return QString(count, QChar(Utf8::kReplacement));
}

} // namespace

// The one decoder of stored text: only well-formed UTF-8 decodes to characters, and
// it decodes every input as QString::fromUtf8 does.
class TestUtf8 : public QObject
{
    Q_OBJECT
private slots:
    void illFormedBytesBecomeReplacements_data();
    void illFormedBytesBecomeReplacements();
    void agreesWithQtOnEveryShortSequence();
    void startIsWholeTextCutAfterCharacters_data();
    void startIsWholeTextCutAfterCharacters();
};

void TestUtf8::illFormedBytesBecomeReplacements_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    const QString r = replacements(1);
    QTest::newRow("overlong markup") << QByteArray("\xC0\xBCscript\xC0\xBE")
                                     << replacements(2) + "script" + replacements(2);
    QTest::newRow("overlong quote") << QByteArray("A\xC0\xA2"
                                                  "B")
                                    << "A" + replacements(2) + "B";
    QTest::newRow("overlong NUL") << QByteArray("\xC0\x80") << replacements(2);
    QTest::newRow("overlong in three bytes") << QByteArray("\xE0\x80\xBC") << replacements(3);
    QTest::newRow("overlong in four bytes") << QByteArray("\xF0\x80\x80\xBC") << replacements(4);
    QTest::newRow("surrogate") << QByteArray("\xED\xA0\x80") << replacements(3);
    QTest::newRow("above U+10FFFF") << QByteArray("\xF4\x90\x80\x80") << replacements(4);
    QTest::newRow("lead that no sequence has") << QByteArray("a\xF8\x88\x80\x80\x80z") << "a" + replacements(5) + "z";
    QTest::newRow("cut at the end") << QByteArray("a\xE2\x82") << "a" + replacements(2);
    QTest::newRow("cut before a character") << QByteArray("\xF0\x9F\x98"
                                                          "A")
                                            << replacements(3) + "A";
    QTest::newRow("cut before another sequence") << QByteArray("\xE2\xF0\x9F\x98\x80") << r + QString::fromUtf8("😀");
    QTest::newRow("stray continuation") << QByteArray("a\x80\xBF"
                                                      "b")
                                        << "a" + replacements(2) + "b";
    QTest::newRow("byte order mark at the start") << QByteArray("\xEF\xBB\xBF"
                                                                "a")
                                                  << "a";
    QTest::newRow("byte order mark further on") << QByteArray("a\xEF\xBB\xBF") << QString::fromUtf16(u"a\uFEFF");
    QTest::newRow("largest code point") << QByteArray("\xF4\x8F\xBF\xBF") << QString::fromUtf16(u"\U0010FFFF");
    QTest::newRow("noncharacter") << QByteArray("\xEF\xBF\xBE") << QString(QChar(0xFFFE));
    QTest::newRow("NUL byte") << QByteArray("a\0b", 3) << QString::fromUtf16(u"a\0b", 3);
}

void TestUtf8::illFormedBytesBecomeReplacements()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QCOMPARE(Utf8::decode(bytes), text);
    QCOMPARE(Utf8::decode(bytes), QString::fromUtf8(bytes));
}

void TestUtf8::agreesWithQtOnEveryShortSequence()
{
    // Every sequence of one or two bytes, and of three and four edge bytes, alone
    // and between ASCII letters.
    const auto agrees = [](std::initializer_list<char> sequence) {
        const QByteArray bytes(sequence.begin(), qsizetype(sequence.size()));
        for (const QByteArray& input : { bytes, "x" + bytes + "yz" }) {
            if (Utf8::decode(input) != QString::fromUtf8(input)) {
                qWarning("differs from Qt on %s", input.toHex(' ').constData());
                return false;
            }
        }
        return true;
    };
    for (int a = 0; a < 256; ++a) {
        QVERIFY(agrees({ char(a) }));
        for (int b = 0; b < 256; ++b)
            QVERIFY(agrees({ char(a), char(b) }));
    }
    for (char a : kEdgeBytes)
        for (char b : kEdgeBytes)
            for (char c : kEdgeBytes) {
                QVERIFY(agrees({ a, b, c }));
                for (char d : kEdgeBytes)
                    QVERIFY(agrees({ a, b, c, d }));
            }
}

void TestUtf8::startIsWholeTextCutAfterCharacters_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QByteArray mixed;
    QRandomGenerator random(20240307);
    // Characters of one to four bytes and ill-formed runs, in no order.
    const QList<QByteArray> pieces { "a", "\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80", "\xC0\xBC", "\xE2\x82",
        "\xF0\x9F\x98", "\x80", "\xEF\xBB\xBF" };
    for (int i = 0; i < 400; ++i)
        mixed += pieces[random.bounded(int(pieces.size()))];
    QTest::newRow("mixed") << mixed;
    QTest::newRow("byte order mark then a pair") << QByteArray("\xEF\xBB\xBF\xF0\x9F\x98\x80\xF0\x9F\x98\x80");
    QTest::newRow("ASCII") << QByteArray(100, 'x');
    QTest::newRow("empty") << QByteArray();
}

void TestUtf8::startIsWholeTextCutAfterCharacters()
{
    QFETCH(QByteArray, bytes);
    const QString whole = Utf8::decode(bytes);
    for (qsizetype units = 0; units <= whole.size() + 2; ++units) {
        const QString start = Utf8::decodeStart(bytes, units);
        // Never a replacement where the whole text has a character cut in two.
        QCOMPARE(start, whole.left(start.size()));
        QVERIFY(start.size() >= qMin(units, whole.size()));
        QVERIFY(start.size() <= units + 1);
        if (start.size() == units + 1)
            QVERIFY(start.back().isLowSurrogate());
    }
}

QTEST_APPLESS_MAIN(TestUtf8)
#include "tst_utf8.moc"
