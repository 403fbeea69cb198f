#include "engine/Connection.h"

#include "platform/Utf8.h"

QVariant toVariant(const CellRef& c)
{
    switch (c.cls) {
    case CellClass::Null:
        return {};
    case CellClass::Integer:
        return QVariant(c.integer);
    case CellClass::Float:
        return QVariant(c.real);
    case CellClass::Text:
        return QVariant(Utf8::decode(QByteArrayView(c.data, c.size)));
    case CellClass::Blob:
        return QVariant(QByteArray(c.data, c.size));
    }
    return {};
}
