#include "MailHandOff.h"

#ifdef Q_OS_WIN
#include "SimpleMapiMail.h"
#else
#include "DesktopMail.h"
#endif

std::unique_ptr<MailHandOff> MailHandOff::createSystem()
{
#ifdef Q_OS_WIN
    return std::make_unique<SimpleMapiMail>();
#else
    return std::make_unique<DesktopMail>();
#endif
}
