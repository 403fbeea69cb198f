#include "output/mail/MailHandOff.h"

#ifdef Q_OS_WIN
#include "output/mail/SimpleMapiMail.h"
#else
#include "output/mail/DesktopMail.h"
#endif

std::unique_ptr<MailHandOff> MailHandOff::createSystem()
{
#ifdef Q_OS_WIN
    return std::make_unique<SimpleMapiMail>();
#else
    return std::make_unique<DesktopMail>();
#endif
}
