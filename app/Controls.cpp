#include "Controls.h"

#include <QFrame>
#include <QToolButton>

namespace Controls
{

QFont font(const QString& family, QFont::StyleHint hint)
{
    QFont f(family);
    f.setStyleHint(hint);
    return f;
}

QFrame* bevel(QWidget* parent, const QString& name, const QRect& geometry)
{
    auto* line = new QFrame(parent);
    line->setObjectName(name);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    line->setGeometry(geometry);
    return line;
}

QToolButton* addToolButton(
    QWidget* toolBar, const QString& name, ImageList::Window images, int imageIndex, const QString& hint)
{
    const auto position = toolBar->findChildren<QToolButton*>(QString(), Qt::FindDirectChildrenOnly).size();
    auto* button = new QToolButton(toolBar);
    button->setObjectName(name);
    button->setAutoRaise(true);
    button->setToolButtonStyle(Qt::ToolButtonIconOnly);
    button->setIcon(ImageList::icon(images, imageIndex));
    button->setIconSize(QSize(16, 16));
    button->setToolTip(hint);
    button->setFocusPolicy(Qt::NoFocus);
    button->setGeometry(int(position) * 26, 0, 26, 22);
    return button;
}

} // namespace Controls
