#include "app/ImageList.h"

#include <array>

// The resource of a static library is registered by hand, from the global namespace.
static int registerResources()
{
    Q_INIT_RESOURCE(velosql);
    return 0;
}

static void initResources()
{
    static const int done = registerResources();
    Q_UNUSED(done);
}

// The icons are drawn in SVG. Windows gets PNG renditions of them, made when the
// program is built: its Qt has no SVG module.
static QIcon resourceIcon(QLatin1String name)
{
    initResources();
#ifdef Q_OS_WIN
    return QIcon(QStringLiteral(":/icons/%1.png").arg(name));
#else
    return QIcon(QStringLiteral(":/icons/%1.svg").arg(name));
#endif
}

namespace
{
// ImageListSQL: index 3 is used by no button.
constexpr std::array<const char*, 8> kQueryImages
    = { "quit", "run", "add", "open", "save", "print", "capture", "view" };
// ImageListClipBoard: index 1 is used by no button.
constexpr std::array<const char*, 6> kEditorImages = { "quit", "open", "erase", "save", "print", "mail" };
} // namespace

namespace ImageList
{

QIcon icon(Window window, int index)
{
    const char* name = nullptr;
    if (window == QueryWindow && index >= 0 && index < int(kQueryImages.size()))
        name = kQueryImages[size_t(index)];
    if (window == CaptureEditor && index >= 0 && index < int(kEditorImages.size()))
        name = kEditorImages[size_t(index)];
    return name ? resourceIcon(QLatin1String(name)) : QIcon();
}

QIcon windowIcon(Window window)
{
    return resourceIcon(window == QueryWindow ? QLatin1String("querywindow") : QLatin1String("clipwindow"));
}

QIcon applicationIcon()
{
    return resourceIcon(QLatin1String("velosql"));
}

} // namespace ImageList
