#include "ui/FontFamilies.h"

#include <QFont>
#include <QStringList>

namespace
{
struct Family {
    const char* asked;
    const char* closest; // comma-separated, most alike first
};

// Metric-compatible faces first (Debian: fonts-urw-base35, fonts-liberation2,
// fonts-croscore), then the DejaVu face of the same kind, which Qt always has. The
// listing's faces are TrueType ones: URW's OpenType (CFF) faces come out of Qt's PDF
// writer with another ascent than Qt laid the text out with.
const Family kFamilies[] = {
    { "Palatino Linotype", "P052,TeX Gyre Pagella,URW Palladio L,Palatino,DejaVu Serif" },
    { "MS Sans Serif", "Microsoft Sans Serif,Liberation Sans,Arimo,DejaVu Sans" },
    { "Arial", "Liberation Sans,Arimo,DejaVu Sans" },
    { "Fixedsys", "DejaVu Sans Mono,Liberation Mono,Nimbus Mono PS,Courier New" },
};
} // namespace

namespace FontFamilies
{

void install()
{
    for (const Family& f : kFamilies) {
        const QString asked = QString::fromLatin1(f.asked);
        // Installed once: a second call would add the same names again.
        if (QFont::substitutes(asked).isEmpty())
            QFont::insertSubstitutions(asked, QString::fromLatin1(f.closest).split(QLatin1Char(',')));
    }
}

} // namespace FontFamilies
