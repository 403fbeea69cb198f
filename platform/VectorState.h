#pragma once

// The upper halves of the processor's wide vector registers (x86 with AVX).
//
// Code built for AVX that ends without clearing them leaves them "dirty", and from
// then on every instruction of code built for plain SSE (the system's SQLite, libpq,
// most of this program) waits on them: measured here, a SQLite scan after Qt's widgets
// had run took 1.8 times the processor time it takes in the sqlite3 shell, for the same
// instructions. Creating a widget is enough to leave them dirty; one VZEROUPPER
// instruction cleans them. So long work clears them when it starts, and again each
// time the window's code ran in the middle of it.
namespace VectorState
{

// Clears the upper halves (VZEROUPPER) where the processor and the system have AVX;
// does nothing elsewhere. Costs about a cycle.
void clearUpper();

// True when the upper halves hold data, as the processor tells it (XGETBV's list of
// the register states in use); false where it cannot tell.
bool upperInUse();

// True where upperInUse() can tell.
bool canTell();

} // namespace VectorState
