#include "ui/widgets/DialogFit.h"

#include <QApplication>
#include <QEvent>
#include <QGridLayout>
#include <QMessageBox>
#include <QPrintDialog>
#include <QRadioButton>
#include <QScreen>

namespace
{
// Room a title bar takes besides the caption: the window's icon and three buttons,
// with their margins (openbox, for one, needs about this much).
constexpr int kTitleBarExtras = 112;

// Turns a widget off again each time something turns it on.
class StayDisabled : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::EnabledChange) {
            auto* widget = static_cast<QWidget*>(watched);
            if (widget->isEnabled())
                widget->setEnabled(false);
        }
        return QObject::eventFilter(watched, event);
    }
};
} // namespace

namespace DialogFit
{

int captionWidth(const QString& caption)
{
    // Title bars draw their caption in a bold face.
    QFont titleFont = QApplication::font("QMdiSubWindowTitleBar");
    titleFont.setBold(true);
    return QFontMetrics(titleFont).horizontalAdvance(caption) + kTitleBarExtras;
}

QSize textSize(const QWidget* window, int columns, int lines)
{
    const QFontMetrics metrics = window->fontMetrics();
    const QSize wanted(metrics.averageCharWidth() * columns, metrics.lineSpacing() * lines);
    const QScreen* screen = window->screen();
    return screen ? wanted.boundedTo(screen->availableGeometry().size()) : wanted;
}

void showWholeCaption(QMessageBox& box)
{
    const int wanted = captionWidth(box.windowTitle());
    // The box sizes itself to its layout when shown: a strut across the layout
    // makes it at least that wide.
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    if (!grid)
        return;
    grid->addItem(new QSpacerItem(wanted, 0, QSizePolicy::Fixed, QSizePolicy::Minimum), grid->rowCount(), 0, 1,
        qMax(1, grid->columnCount()));
}

void withoutPageRange(QPrintDialog& dialog)
{
    // The names Qt's own dialog gives its page range entries; a platform's native
    // dialog has none of them and honours its options itself.
    auto* keeper = new StayDisabled(&dialog);
    for (const char* name : { "printRange", "from", "to", "pagesRadioButton", "pagesLineEdit" }) {
        if (auto* entry = dialog.findChild<QWidget*>(QLatin1String(name))) {
            entry->setEnabled(false);
            entry->installEventFilter(keeper);
        }
    }
    if (auto* all = dialog.findChild<QRadioButton*>(QStringLiteral("printAll")))
        all->setChecked(true);
}

} // namespace DialogFit
