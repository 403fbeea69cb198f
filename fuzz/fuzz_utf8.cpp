// The UTF-8 decoder and the Windows-1252 encoder, against Qt's own codecs.
//
// Input: the bytes to decode, as they come from a database. Qt's UTF-8 decoder says
// what is well formed: every input decodes to the same code points, or to U+FFFD
// where Qt rejects. Qt's Windows-1252 decoder gives the code page's table. The
// exports' fast path (UTF-8 straight to Windows-1252) must write, under each policy,
// what decoding then encoding writes.

#include "FuzzSupport.h"
#include "platform/Utf8.h"
#include "platform/Windows1252.h"

#include <QHash>
#include <QStringDecoder>

namespace
{

using Windows1252::Unmappable;

constexpr Unmappable kPolicies[]
    = { Unmappable::QuestionMark, Unmappable::QuotedText, Unmappable::CharacterReference, Unmappable::HtmlText };

// Code point -> byte, from Qt's decoder of the code page over the 256 bytes.
QHash<char32_t, int> codePage;

void readCodePage()
{
    QStringDecoder decoder("windows-1252");
    if (!decoder.isValid())
        fuzzFail(__FILE__, __LINE__, "QStringDecoder(windows-1252)", QStringLiteral("Qt has no Windows-1252 codec"));
    for (int b = 0; b < 256; ++b) {
        const QString text = decoder(QByteArray(1, char(b)));
        FUZZ_CHECK(text.size() == 1, QStringLiteral("byte %1").arg(b));
        codePage.insert(text[0].unicode(), b);
    }
}

int expectedByte(char32_t cp)
{
    return codePage.value(cp, -1);
}

// The code points of a text; a surrogate without its other half stays as it is.
std::vector<char32_t> codePoints(const QString& text)
{
    std::vector<char32_t> points;
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t cp = text[i].unicode();
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            cp = QChar::surrogateToUcs4(text[i], text[i + 1]);
            ++i;
        }
        points.push_back(cp);
    }
    return points;
}

// What the question mark policy writes for text, worked out from Qt's table.
QByteArray withQuestionMarks(const QString& text)
{
    QByteArray out;
    for (const char32_t cp : codePoints(text)) {
        const int b = expectedByte(cp);
        out.append(b >= 0 ? char(b) : '?');
    }
    return out;
}

void checkDecoder(const QByteArray& bytes, FuzzInput& input)
{
    const QString decoded = Utf8::decode(bytes);
    const QString qt = QString::fromUtf8(bytes);
    FUZZ_CHECK(decoded == qt,
        QStringLiteral("input %1\nours %2\nQt's %3").arg(shownBytes(bytes), shownText(decoded), shownText(qt)));

    // The start of a text: a prefix of the whole, at least as long as asked.
    const qsizetype units = input.byte();
    const QString start = Utf8::decodeStart(bytes, units);
    FUZZ_CHECK(decoded.startsWith(start) && start.size() >= qMin(units, decoded.size()) && start.size() <= units + 1,
        QStringLiteral("input %1, %2 units\nstart %3\nwhole %4")
            .arg(shownBytes(bytes))
            .arg(units)
            .arg(shownText(start), shownText(decoded)));
}

void checkEncoder(const QByteArray& bytes)
{
    const QString decoded = Utf8::decode(bytes);
    const QByteArray encoded = Windows1252::encode(decoded);
    FUZZ_CHECK(encoded == withQuestionMarks(decoded),
        QStringLiteral("text %1\nours %2\nQt's table %3")
            .arg(shownText(decoded), shownBytes(encoded), shownBytes(withQuestionMarks(decoded))));
    // What was written reads back as the text, each character the code page lacks a "?".
    const QString back = Windows1252::decode(encoded);
    for (const char32_t cp : codePoints(decoded))
        FUZZ_CHECK(
            Windows1252::byteFor(cp) == expectedByte(cp), QStringLiteral("code point %1").arg(quint32(cp), 0, 16));
    FUZZ_CHECK(Windows1252::encode(back) == encoded, QStringLiteral("read back %1").arg(shownText(back)));
}

// The fast path against decoding then encoding, after bytes already in the output.
void checkFastPath(const QByteArray& bytes)
{
    const QString decoded = Utf8::decode(bytes);
    for (const Unmappable policy : kPolicies) {
        QByteArray fast = "already";
        Windows1252::appendFromUtf8(fast, bytes.constData(), bytes.size(), policy);
        const QByteArray slow = "already" + Windows1252::encode(decoded, policy);
        FUZZ_CHECK(fast == slow,
            QStringLiteral("policy %1, input %2\nfast %3\ndecoded then encoded %4")
                .arg(int(policy))
                .arg(shownBytes(bytes), shownBytes(fast), shownBytes(slow)));
    }
}

// Blob bytes written as text under each policy: what decoding them as the code page
// and encoding again writes.
void checkBytes(const QByteArray& bytes)
{
    const QString decoded = Windows1252::decode(bytes);
    for (const Unmappable policy : kPolicies) {
        QByteArray direct = "already";
        Windows1252::appendBytes(direct, bytes, policy);
        const QByteArray slow = "already" + Windows1252::encode(decoded, policy);
        FUZZ_CHECK(direct == slow,
            QStringLiteral("policy %1, input %2\nbytes %3\ndecoded then encoded %4")
                .arg(int(policy))
                .arg(shownBytes(bytes), shownBytes(direct), shownBytes(slow)));
    }
}

// Text that no decoder made: UTF-16 code units as they come, lone surrogates too.
void checkAnyText(const QByteArray& bytes)
{
    const QString text(reinterpret_cast<const QChar*>(bytes.constData()), bytes.size() / 2);
    FUZZ_CHECK(Windows1252::encode(text) == withQuestionMarks(text),
        QStringLiteral("text %1\nours %2").arg(shownText(text), shownBytes(Windows1252::encode(text))));
}

// The fast path transcodes a long text a piece at a time: the same bytes after a
// run of ASCII that puts a piece's end among them. (An "a" before them keeps a byte
// order mark among them from being the text's first character.)
void checkPieceEnd(const QByteArray& bytes, int shift)
{
    constexpr qsizetype kPiece = 64 * 1024;
    const QByteArray run(kPiece - shift, 'a');
    const QByteArray tail = "a" + bytes;
    const QByteArray whole = run + tail;
    const QString decodedTail = Utf8::decode(tail);
    for (const Unmappable policy : kPolicies) {
        QByteArray fast;
        Windows1252::appendFromUtf8(fast, whole.constData(), whole.size(), policy);
        const QByteArray slow = Windows1252::encode(decodedTail, policy);
        FUZZ_CHECK(fast.startsWith(run) && QByteArrayView(fast).sliced(run.size()) == slow,
            QStringLiteral("policy %1, input %2 after %3 bytes\nfast %4\ndecoded then encoded %5")
                .arg(int(policy))
                .arg(shownBytes(bytes))
                .arg(run.size())
                .arg(shownBytes(QByteArrayView(fast).sliced(qMin(run.size(), fast.size()))), shownBytes(slow)));
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzzInit();
    readCodePage();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    FuzzInput input(data, size);
    checkDecoder(bytes, input);
    checkEncoder(bytes);
    checkFastPath(bytes);
    checkBytes(bytes);
    checkAnyText(bytes);
    if (const int b = input.byte(); b % 16 == 0)
        checkPieceEnd(bytes, 1 + b / 16 % 8);
    return 0;
}
