#include "ui/widgets/ThemeColours.h"

#include <QEvent>
#include <QWidget>
#include <cmath>

namespace
{
using ThemeColours::Ink;

struct Shades {
    QColor light; // on a light window or box
    QColor dark; // on a dark one
};

Shades shadesOf(Ink ink)
{
    switch (ink) {
    case Ink::Counter:
        return { QColor(128, 0, 0), QColor(255, 140, 140) };
    case Ink::Keyword:
        return { QColor(0, 0, 160), QColor(140, 180, 255) };
    case Ink::Quoted:
    case Ink::Failure:
        return { QColor(160, 0, 0), QColor(255, 150, 150) };
    case Ink::Number:
        return { QColor(128, 0, 128), QColor(230, 150, 255) };
    case Ink::Comment:
        return { QColor(110, 110, 110), QColor(180, 180, 180) };
    case Ink::Parameter:
        return { QColor(0, 120, 0), QColor(120, 210, 120) };
    case Ink::Title:
        return { QColor(255, 0, 0), QColor(255, 110, 110) };
    }
    return {};
}

// A channel of sRGB, 0 to 255, as light: 0 to 1.
double linear(int channel)
{
    const double c = channel / 255.0;
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

// The luminance at which black and white have the same contrast: sqrt(1.05 * 0.05) - 0.05.
constexpr double kMiddle = 0.1791287847;
// Steps of the mix towards black or white, the last one reaching it.
constexpr int kMixSteps = 64;

// Calls its function on the palette changes of the widget it watches.
class PaletteFollower : public QObject
{
public:
    PaletteFollower(QObject* owner, std::function<void()> update)
        : QObject(owner)
        , m_update(std::move(update))
    {
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        // A widget hears of a new palette once it holds it: the application's change
        // reaches it first as ApplicationPaletteChange, then as PaletteChange.
        if (event->type() == QEvent::PaletteChange && !m_updating) {
            m_updating = true;
            m_update();
            m_updating = false;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> m_update;
    bool m_updating = false;
};
} // namespace

namespace ThemeColours
{

double luminance(const QColor& colour)
{
    const QColor rgb = colour.toRgb();
    return 0.2126 * linear(rgb.red()) + 0.7152 * linear(rgb.green()) + 0.0722 * linear(rgb.blue());
}

double contrast(const QColor& a, const QColor& b)
{
    const double la = luminance(a);
    const double lb = luminance(b);
    return (qMax(la, lb) + 0.05) / (qMin(la, lb) + 0.05);
}

bool isDark(const QColor& background)
{
    return luminance(background) < kMiddle;
}

QPalette::ColorRole backgroundRole(Ink ink)
{
    return ink == Ink::Counter || ink == Ink::Title ? QPalette::Window : QPalette::Base;
}

double minimumContrast(Ink ink)
{
    return ink == Ink::Title ? 3.0 : 4.5;
}

QColor colour(Ink ink, const QPalette& palette, QPalette::ColorGroup group)
{
    const QColor background = palette.color(group, backgroundRole(ink));
    const Shades shades = shadesOf(ink);
    return readable(isDark(background) ? shades.dark : shades.light, background, minimumContrast(ink));
}

QColor colour(Ink ink, const QPalette& palette)
{
    return readable(colour(ink, palette, QPalette::Active), palette.color(QPalette::Inactive, backgroundRole(ink)),
        minimumContrast(ink));
}

QColor readable(const QColor& preferred, const QColor& background, double minimum)
{
    if (contrast(preferred, background) >= minimum)
        return preferred;
    // Any background reads at 4.5 to 1 with black or with white: the nearer mix that
    // does is the shade that stays closest to the one asked for.
    const QColor target = isDark(background) ? QColor(Qt::white) : QColor(Qt::black);
    const QColor from = preferred.toRgb();
    for (int step = 1; step < kMixSteps; ++step) {
        const auto mix = [step](int a, int b) { return a + (b - a) * step / kMixSteps; };
        const QColor c(
            mix(from.red(), target.red()), mix(from.green(), target.green()), mix(from.blue(), target.blue()));
        if (contrast(c, background) >= minimum)
            return c;
    }
    return target;
}

void follow(QWidget* widget, const std::function<void()>& update, QObject* owner)
{
    widget->installEventFilter(new PaletteFollower(owner ? owner : widget, update));
}

void setTextInk(QWidget* widget, Ink ink)
{
    const auto apply = [widget, ink] {
        QPalette palette = widget->palette();
        for (const auto group : { QPalette::Active, QPalette::Inactive, QPalette::Disabled })
            palette.setColor(group, QPalette::WindowText, colour(ink, palette, group));
        widget->setPalette(palette);
    };
    apply();
    follow(widget, apply);
}

} // namespace ThemeColours
