#pragma once

#include <QtGlobal>

#ifndef Q_OS_WIN
#include <locale.h>
#endif

// While it lives, the C library writes and reads numbers on this thread as in the C
// locale ("1234.5"), whatever locale Qt took from the environment at start (French:
// "1234,5"): for a library that writes a file's numbers with printf. Windows keeps the
// C library in the C locale.
class CNumbers
{
public:
    CNumbers();
    ~CNumbers();
    CNumbers(const CNumbers&) = delete;
    CNumbers& operator=(const CNumbers&) = delete;

private:
#ifndef Q_OS_WIN
    locale_t m_locale = locale_t(nullptr);
    locale_t m_previous = locale_t(nullptr);
#endif
};
