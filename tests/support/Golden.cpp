#include "Golden.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

QString testDataPath(const QString& relative)
{
    return QDir(qEnvironmentVariable("VELOSQL_TEST_DATA")).filePath(relative);
}

QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QString goldenDifference(const QByteArray& actual, const QString& relative)
{
    const QString path = testDataPath(relative);
    const QByteArray expected = fileBytes(path);
    if (QFileInfo::exists(path) && actual == expected)
        return {};
    qsizetype at = 0;
    while (at < actual.size() && at < expected.size() && actual[at] == expected[at])
        ++at;
    const QString kept = QDir::temp().filePath(QStringLiteral("velosql-golden/") + relative);
    QDir().mkpath(QFileInfo(kept).absolutePath());
    QFile out(kept);
    if (out.open(QIODevice::WriteOnly))
        out.write(actual);
    return QStringLiteral("%1 differs at byte %2 (%3 bytes, golden %4%5); output kept in %6")
        .arg(relative)
        .arg(at)
        .arg(actual.size())
        .arg(expected.size())
        .arg(QFileInfo::exists(path) ? QString() : QStringLiteral(", missing"))
        .arg(kept);
}
