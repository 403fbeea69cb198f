#include "ui/widgets/AccessibleLabel.h"

#include <QAccessibleWidget>
#include <QLabel>

namespace
{
constexpr char kTextAsDescription[] = "velosqlTextAsDescription";

class LabelWithValue : public QAccessibleWidget
{
public:
    explicit LabelWithValue(QLabel* label)
        : QAccessibleWidget(label, QAccessible::StaticText)
    {
    }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Description)
            return static_cast<const QLabel*>(widget())->text();
        return QAccessibleWidget::text(t);
    }
};

QAccessibleInterface* labelWithValue(const QString&, QObject* object)
{
    auto* label = qobject_cast<QLabel*>(object);
    return label && label->property(kTextAsDescription).toBool() ? new LabelWithValue(label) : nullptr;
}
} // namespace

namespace AccessibleLabel
{

void nameWithTextAsDescription(QLabel* label, const QString& name)
{
    static const bool installed = [] {
        QAccessible::installFactory(labelWithValue);
        return true;
    }();
    Q_UNUSED(installed);
    label->setAccessibleName(name);
    label->setProperty(kTextAsDescription, true);
    // The label may have been described already (setting a text does it): that
    // description makes way for this one.
    if (QAccessibleInterface* earlier = QAccessible::queryAccessibleInterface(label);
        earlier && !dynamic_cast<LabelWithValue*>(earlier))
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(earlier));
}

} // namespace AccessibleLabel
