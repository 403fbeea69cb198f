// The named-parameter scanner.
//
// Input: a statement in UTF-8. What the scanner gives back must be the statement
// with only doubled colons reduced, the names found must be those that stand after
// the other colons outside quotes, in order, and a statement with nothing to reduce
// scans to itself again.

#include "FuzzSupport.h"
#include "data/SqlParameters.h"

#include <algorithm>
#include <vector>

namespace
{

bool isQuote(QChar c)
{
    return c == u'\'' || c == u'"';
}

bool endsName(QChar c)
{
    return c == u' ' || c == u'\t' || c == u',' || c == u';' || c == u')' || c == u'\r' || c == u'\n';
}

QString described(const QString& sql, const ParsedStatement& parsed)
{
    return QStringLiteral("statement %1\ntext %2\nnames %3")
        .arg(shownText(sql), shownText(parsed.text), parsed.params.join(QStringLiteral(" | ")));
}

// The text is the statement with colons taken out of runs of colons only, a run of
// n colons keeping n or, reduced, half of them rounded up. Returns, for each character
// of the text, whether it is a colon that stands for "::": the first n / 2 colons of
// a reduced run (the last one of an odd run starts a parameter).
std::vector<bool> checkReduced(const QString& sql, const ParsedStatement& parsed)
{
    const QString& text = parsed.text;
    std::vector<bool> literal(size_t(text.size()), false);
    qsizetype i = 0;
    qsizetype k = 0;
    while (true) {
        qsizetype run = 0;
        while (i + run < sql.size() && sql[i + run] == u':')
            ++run;
        qsizetype kept = 0;
        while (k + kept < text.size() && text[k + kept] == u':')
            ++kept;
        FUZZ_CHECK(kept == run || kept == (run + 1) / 2, described(sql, parsed));
        if (kept < run)
            std::fill_n(literal.begin() + k, run / 2, true);
        i += run;
        k += kept;
        if (i == sql.size() && k == text.size())
            break;
        FUZZ_CHECK(i < sql.size() && k < text.size() && sql[i] == text[k], described(sql, parsed));
        ++i;
        ++k;
    }
    return literal;
}

// Walking the text, every colon outside quotes that does not stand for "::" starts
// the next name (and is its place), which runs to its end character (a quote inside a name does not
// count as one), and no other colon does.
void checkNames(const QString& sql, const ParsedStatement& parsed, const std::vector<bool>& literal)
{
    const QString& text = parsed.text;
    qsizetype next = 0;
    bool quoted = false;
    for (qsizetype at = 0; at < text.size(); ++at) {
        if (isQuote(text[at])) {
            quoted = !quoted;
            continue;
        }
        if (quoted || text[at] != u':' || literal[size_t(at)])
            continue;
        FUZZ_CHECK(next < parsed.params.size(),
            QStringLiteral("a name at %1 not found\n%2").arg(at).arg(described(sql, parsed)));
        FUZZ_CHECK(parsed.places.value(next, -1) == at,
            QStringLiteral("name %1 placed elsewhere than %2\n%3").arg(next).arg(at).arg(described(sql, parsed)));
        const QString& name = parsed.params[next++];
        const qsizetype end = at + 1 + name.size();
        FUZZ_CHECK(QStringView(text).sliced(at + 1).startsWith(name) && (end == text.size() || endsName(text[end])),
            QStringLiteral("name %1 at %2\n%3").arg(name).arg(at).arg(described(sql, parsed)));
        for (const QChar c : name)
            FUZZ_CHECK(!endsName(c), described(sql, parsed));
        at = end - 1;
    }
    FUZZ_CHECK(next == parsed.params.size(), QStringLiteral("names beyond the text\n%1").arg(described(sql, parsed)));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzzInit();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString sql = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const ParsedStatement parsed = scanParameters(sql);
    checkNames(sql, parsed, checkReduced(sql, parsed));
    FUZZ_CHECK(parsed.params.size() <= sql.count(u':'), described(sql, parsed));
    if (parsed.text == sql) {
        // Nothing was reduced: the text scans to itself, with the same names.
        const ParsedStatement again = scanParameters(parsed.text);
        FUZZ_CHECK(again.text == parsed.text && again.params == parsed.params,
            QStringLiteral("%1\nscanned again: %2").arg(described(sql, parsed), described(parsed.text, again)));
    }
    return 0;
}
