#include "platform/CNumbers.h"

#ifdef Q_OS_WIN

CNumbers::CNumbers() = default;
CNumbers::~CNumbers() = default;

#else

#include <locale.h>

// The thread's locale but for its numbers; when the system cannot make one (no
// memory), the thread keeps its own.
CNumbers::CNumbers()
{
    const locale_t current = duplocale(uselocale(locale_t(nullptr)));
    if (current == locale_t(nullptr))
        return;
    m_locale = newlocale(LC_NUMERIC_MASK, "C", current);
    if (m_locale == locale_t(nullptr)) {
        freelocale(current);
        return;
    }
    m_previous = uselocale(m_locale);
}

CNumbers::~CNumbers()
{
    if (m_locale == locale_t(nullptr))
        return;
    uselocale(m_previous);
    freelocale(m_locale);
}

#endif
