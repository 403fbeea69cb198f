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
    initResources();
    const char* name = nullptr;
    if (window == QueryWindow && index >= 0 && index < int(kQueryImages.size()))
        name = kQueryImages[size_t(index)];
    if (window == CaptureEditor && index >= 0 && index < int(kEditorImages.size()))
        name = kEditorImages[size_t(index)];
    return name ? QIcon(QStringLiteral(":/icons/%1.svg").arg(QLatin1String(name))) : QIcon();
}

QIcon windowIcon(Window window)
{
    initResources();
    return QIcon(
        window == QueryWindow ? QStringLiteral(":/icons/querywindow.svg") : QStringLiteral(":/icons/clipwindow.svg"));
}

QIcon applicationIcon()
{
    initResources();
    return QIcon(QStringLiteral(":/icons/velosql.svg"));
}

} // namespace ImageList
