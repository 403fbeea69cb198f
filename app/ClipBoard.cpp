#include "ClipBoard.h"

#include "ImageList.h"

TFicheClip* FicheClip = nullptr;

TFicheClip::TFicheClip(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                          | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("FicheClip"));
    setWindowTitle(QStringLiteral("Edition des captures"));
    setWindowIcon(ImageList::windowIcon(ImageList::CaptureEditor));
    setFixedSize(792, 573);
}
