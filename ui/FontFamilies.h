#pragma once

// The windows and the listing were designed with Windows faces ("Palatino Linotype",
// "MS Sans Serif", "Arial", "Fixedsys"). Where a face is not installed, the text takes
// the installed face closest to it in widths (P052 has Palatino's metrics, Liberation
// Sans Arial's), rather than whatever the system's generic family happens to be: a wider
// face would cut captions and widen labels.
namespace FontFamilies
{

// Gives each family the program asks for the installed faces tried in its place, in
// order (QFont::substitutes); called once at start-up, before the first window.
void install();

} // namespace FontFamilies
