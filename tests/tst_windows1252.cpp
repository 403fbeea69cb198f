#include "platform/Utf8.h"
#include "platform/Windows1252.h"

#include <QTest>

using Windows1252::Unmappable;
Q_DECLARE_METATYPE(Unmappable)

// The exports' byte paths (UTF-8 straight to Windows-1252, and Windows-1252 bytes as
// HTML text) must write what encoding the decoded text writes.
class TestWindows1252 : public QObject
{
    Q_OBJECT
private slots:
    void utf8TranscodesAsTextDoes_data();
    void utf8TranscodesAsTextDoes();
    void illFormedUtf8TranscodesAsDecodedTextDoes_data();
    void illFormedUtf8TranscodesAsDecodedTextDoes();
    void bytesEscapeAsTextDoes_data();
    void bytesEscapeAsTextDoes();
};

void TestWindows1252::utf8TranscodesAsTextDoes_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<Unmappable>("policy");
    QTest::addColumn<QByteArray>("expected");
    const auto text = Unmappable::QuestionMark;
    const auto html = Unmappable::HtmlText;
    const auto references = Unmappable::CharacterReference;
    QTest::newRow("accents and euro") << "Hélène 12 €" << text << QByteArray("H\xe9l\xe8ne 12 \x80");
    QTest::newRow("outside the code page, text") << "Łódź ✓ 😀" << text
                                                 << QByteArray("?\xf3"
                                                               "d? ? ?");
    QTest::newRow("outside the code page, HTML") << "Łódź ✓ 😀" << html
                                                 << QByteArray("&#321;\xf3"
                                                               "d&#378; &#10003; &#128512;");
    // HTML text may hold no control character (and HTML reads "&#128;" as "€"): they
    // are U+FFFD, what the text file's "?" stands for, also those whose bytes the code
    // page leaves unassigned (0x81, 0x8D), which a text file keeps; a character above
    // them keeps its reference.
    const QString controls = QString::fromUtf8("\u0080\u0092\u009c\u0081\u008d\u009f\u00a0\u6f22");
    QTest::newRow("control characters, text") << controls << text << QByteArray("???\x81\x8d?\xa0?");
    QTest::newRow("control characters, HTML")
        << controls << html << QByteArray("&#65533;&#65533;&#65533;&#65533;&#65533;&#65533;\xa0&#28450;");
    const QString c0 = QStringLiteral("a\u0000\u000b\u000c\u007f\t\n\r long enough for a word\u001b");
    QTest::newRow("C0 controls and DEL, text") << c0 << text << c0.toLatin1();
    QTest::newRow("C0 controls and DEL, HTML")
        << c0 << html << QByteArray("a&#65533;&#65533;&#65533;&#65533;\t\n\r long enough for a word&#65533;");
    QTest::newRow("C0 controls and DEL, references")
        << c0 << references << QByteArray("a&#65533;&#65533;&#65533;&#65533;\t\n\r long enough for a word&#65533;");
    QTest::newRow("noncharacters, HTML") << QStringLiteral("\uFDD0\uFDCF\uFFFE\U0001FFFF\U0001FFFD") << html
                                         << QByteArray("&#65533;&#64975;&#65533;&#65533;&#131069;");
    QTest::newRow("control characters after long ASCII run, references")
        << "0123456789abcdef\u0080" << references << QByteArray("0123456789abcdef&#65533;");
    QTest::newRow("markup kept in references")
        << "<a href=\"x\">&amp;</a>" << references << QByteArray("<a href=\"x\">&amp;</a>");
    QTest::newRow("markup escaped in HTML text")
        << "<a href=\"x\">&amp;</a>" << html << QByteArray("&lt;a href=&quot;x&quot;&gt;&amp;amp;&lt;/a&gt;");
    QTest::newRow("markup after long ASCII runs") << "0123456789abcdef\"0123456&789ABCDEF<" << html
                                                  << QByteArray("0123456789abcdef&quot;0123456&amp;789ABCDEF&lt;");
    QTest::newRow("accent after long ASCII run") << "0123456789abcdefé0123456789" << text
                                                 << QByteArray("0123456789abcdef\xe9"
                                                               "0123456789");
    QTest::newRow("only markup") << "\"\"\"\"\"\"\"\"\"\"" << html << QByteArray("&quot;").repeated(10);

    // Quoted text-file values: only '"' changes (doubled), then as text.
    const auto quoted = Unmappable::QuotedText;
    QTest::newRow("quoted, empty") << "" << quoted << QByteArray();
    QTest::newRow("quoted, only quotes") << "\"\"\"\"\"\"\"\"\"" << quoted << QByteArray(18, '"');
    QTest::newRow("quoted, quote at each place of a word")
        << "\"1234567a\"234567ab\"34567abc\"4567abcd\"567abcde\"67abcdef\"7abcdefg\"" << quoted
        << QByteArray("\"\"1234567a\"\"234567ab\"\"34567abc\"\"4567abcd\"\"567abcde\"\"67abcdef\"\"7abcdefg\"\"");
    QTest::newRow("quoted, CR LF, delimiter and markup")
        << "a;b\r\n\"c\"\r\n<&>" << quoted << QByteArray("a;b\r\n\"\"c\"\"\r\n<&>");
    QTest::newRow("quoted, bytes 0x80 to 0x9F")
        << QString::fromUtf8("\"€‚ƒ\u0081\u008d Ÿ\"") << quoted << QByteArray("\"\"\x80\x82\x83\x81\x8d \x9f\"\"");
    QTest::newRow("quoted, outside the code page") << "\"Łódź\" ✓ 😀 long enough\"" << quoted
                                                   << QByteArray("\"\"?\xf3"
                                                                 "d?\"\" ? ? long enough\"\"");
}

void TestWindows1252::utf8TranscodesAsTextDoes()
{
    QFETCH(QString, text);
    QFETCH(Unmappable, policy);
    QFETCH(QByteArray, expected);
    const QByteArray utf8 = text.toUtf8();
    QByteArray out("prefix");
    Windows1252::appendFromUtf8(out, utf8.constData(), utf8.size(), policy);
    QCOMPARE(out, "prefix" + expected);
    QCOMPARE(Windows1252::encode(text, policy), expected);
}

void TestWindows1252::illFormedUtf8TranscodesAsDecodedTextDoes_data()
{
    QTest::addColumn<QByteArray>("utf8");
    QTest::addColumn<Unmappable>("policy");
    QTest::addColumn<QByteArray>("expected");
    const auto text = Unmappable::QuestionMark;
    const auto quoted = Unmappable::QuotedText;
    const auto references = Unmappable::CharacterReference;
    const auto html = Unmappable::HtmlText;
    const QByteArray script("\xC0\xBCscript\xC0\xBE");
    QTest::newRow("overlong markup, HTML") << script << html << QByteArray("&#65533;&#65533;script&#65533;&#65533;");
    QTest::newRow("overlong markup, references")
        << script << references << QByteArray("&#65533;&#65533;script&#65533;&#65533;");
    QTest::newRow("overlong quote, quoted") << QByteArray("A\xC0\xA2"
                                                          "B")
                                            << quoted << QByteArray("A??B");
    QTest::newRow("overlong NUL, text") << QByteArray("\xC0\x80") << text << QByteArray("??");
    QTest::newRow("surrogate, text") << QByteArray("a\xED\xA0\x80") << text << QByteArray("a???");
    QTest::newRow("above U+10FFFF, HTML")
        << QByteArray("\xF4\x90\x80\x80") << html << QByteArray("&#65533;").repeated(4);
    QTest::newRow("cut at the end, quoted") << QByteArray("\"\xE2\x82") << quoted << QByteArray("\"\"??");
    QTest::newRow("byte order mark, text") << QByteArray("\xEF\xBB\xBF"
                                                         "abc\xEF\xBB\xBF")
                                           << text << QByteArray("abc?");
    // Ill-formed bytes write longer than anything else: a long run of them, and a
    // character across the pieces that long texts are transcoded by.
    QTest::newRow("long ill-formed run, HTML")
        << QByteArray(200000, '\xC0') << html << QByteArray("&#65533;").repeated(200000);
    QTest::newRow("character across pieces, references") << QByteArray(65535, 'a') + "\xF0\x9F\x98\x80\xC3\xA9"
            + QByteArray(70000, 'b') << references << QByteArray(65535, 'a') + "&#128512;\xE9" + QByteArray(70000, 'b');
}

void TestWindows1252::illFormedUtf8TranscodesAsDecodedTextDoes()
{
    QFETCH(QByteArray, utf8);
    QFETCH(Unmappable, policy);
    QFETCH(QByteArray, expected);
    QByteArray out("prefix");
    Windows1252::appendFromUtf8(out, utf8.constData(), utf8.size(), policy);
    QCOMPARE(out, "prefix" + expected);
    QCOMPARE(Windows1252::encode(Utf8::decode(utf8), policy), expected);
}

void TestWindows1252::bytesEscapeAsTextDoes_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("no markup") << QByteArray("plain \xe9\x80\x81 bytes, long enough for words");
    // Sized by the literal, whose NUL inside ends no C string here.
    static constexpr char markup[] = "<&>\"x<&>\"y\0z\xff<<<<<<<<&";
    QTest::newRow("markup everywhere") << QByteArray(markup, sizeof markup - 1);
    QTest::newRow("quotes and CR LF") << QByteArray("\"\"\r\n\"a\"\x93\x94\"0123456789\"\r\n");
    QTest::newRow("every byte") << [] {
        QByteArray all;
        for (int b = 0; b < 256; ++b)
            all.append(char(b));
        return all;
    }();
}

void TestWindows1252::bytesEscapeAsTextDoes()
{
    QFETCH(QByteArray, bytes);
    for (const Unmappable policy :
        { Unmappable::QuestionMark, Unmappable::QuotedText, Unmappable::CharacterReference, Unmappable::HtmlText }) {
        QByteArray out("prefix");
        Windows1252::appendBytes(out, bytes, policy);
        QCOMPARE(out, "prefix" + Windows1252::encode(Windows1252::decode(bytes), policy));
    }
}

QTEST_MAIN(TestWindows1252)
#include "tst_windows1252.moc"
