#pragma once

#include <QByteArray>
#include <QString>

// Golden files live under tests/data (VELOSQL_TEST_DATA).
QString testDataPath(const QString& relative);

// The bytes of a file; empty when it cannot be read.
QByteArray fileBytes(const QString& path);

// Replaces a file's contents; false when it cannot be written.
bool writeFile(const QString& path, const QByteArray& bytes);

// Empty when actual equals the golden file byte for byte. Otherwise a message naming
// the first differing offset; actual is then kept in <temp>/velosql-golden/<relative>
// to look at, or to copy over the golden file once checked by eye.
QString goldenDifference(const QByteArray& actual, const QString& relative);
