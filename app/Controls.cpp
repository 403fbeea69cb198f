#include "app/Controls.h"

#include <QFrame>
#include <QGuiApplication>
#include <QScreen>
#include <QToolButton>

namespace Controls
{

QFont font(const QString& family, QFont::StyleHint hint)
{
    QFont f(family);
    f.setStyleHint(hint);
    return f;
}

QFont font(const QString& family, QFont::StyleHint hint, Points size)
{
    QFont f = font(family, hint);
    f.setPointSize(size.value);
    return f;
}

QFont font(const QString& family, QFont::StyleHint hint, Pixels size)
{
    QFont f = font(family, hint);
    f.setPixelSize(size.value);
    return f;
}

void centreOnScreen(QWidget* window)
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    QRect frame = window->frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window->move(frame.topLeft());
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
    // A screen reader announces the button by its hint: it shows no text.
    button->setAccessibleName(hint);
    button->setFocusPolicy(Qt::NoFocus);
    button->setGeometry(int(position) * 26, 0, 26, 22);
    return button;
}

} // namespace Controls
