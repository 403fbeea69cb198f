#pragma once

#include "platform/Exceptions.h"

#include <QString>

// What a step raised: the class and message of its exception, both empty when it
// raised none. Lets a test compare a failure in one line.
struct Raised {
    QString kind;
    QString message;
};

template <typename Step> Raised raised(Step&& step)
{
    try {
        step();
    } catch (const Exception& e) {
        return { QString::fromLatin1(e.className()), e.message() };
    }
    return {};
}
