#pragma once

#include <QString>

// The embedded database that a first start creates: the settings table ListBase
// (TTTYPES empty, POLICE5 ";") and a demo table PaBase of 200 invented patients.
namespace DefaultDatabase
{

// Creates fileName, which must not exist yet. The file is built under a temporary
// name and renamed once complete, so a failure leaves no half-made database.
void create(const QString& fileName);

// Number of patients in the demo table.
constexpr int kPatientCount = 200;

} // namespace DefaultDatabase
