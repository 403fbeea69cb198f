#include "platform/HtmlText.h"

#include <QLatin1StringView>

namespace HtmlText
{

QString escaped(QStringView text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t cp = text[i].unicode();
        if (QChar::isHighSurrogate(cp) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            cp = QChar::surrogateToUcs4(char16_t(cp), text[i + 1].unicode());
            if (holds(cp))
                out.append(text.sliced(i, 2));
            else
                out.append(QChar(char16_t(kReplacement)));
            ++i;
        } else if (const char* markup = entity(cp)) {
            out.append(QLatin1StringView(markup));
        } else {
            out.append(QChar(char16_t(shown(cp))));
        }
    }
    return out;
}

} // namespace HtmlText
