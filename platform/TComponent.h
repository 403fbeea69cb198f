#pragma once

#include <QObject>

// Base of the program's components: the owner is the QObject parent and the
// component's name is its objectName.
class TComponent : public QObject
{
    Q_OBJECT
public:
    explicit TComponent(QObject* owner = nullptr, const QString& name = {})
        : QObject(owner)
    {
        if (!name.isEmpty())
            setObjectName(name);
    }
};
