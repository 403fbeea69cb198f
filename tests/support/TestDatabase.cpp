#include "TestDatabase.h"

#include "MemorySecretStore.h"

#include "engine/Databases.h"
#include "ui/FontFamilies.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QSettings>
#include <QStandardPaths>
#include <QTest>
#include <sqlite3.h>
#include <stdexcept>

void initTestEnvironment()
{
    QStandardPaths::setTestModeEnabled(true);
    QLocale::setDefault(QLocale(QLocale::French, QLocale::France));
    FontFamilies::install();
    // Tests of the keyring install the system's store themselves.
    installSilentSecretStore();
}

void keepAliasesPrivate()
{
    QFile::setPermissions(Databases::aliasesFile(),
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser | QFileDevice::WriteUser);
}

TestDatabase::TestDatabase(Content content, const QString& alias)
    : m_alias(alias)
    , m_path(m_dir.filePath(QStringLiteral("test.sqlite")))
{
    Databases::closeAll();
    exec(QStringLiteral("PRAGMA user_version = 1"));
    if (content == WithSettings) {
        exec(QStringLiteral("CREATE TABLE ListBase (TTTYPES TEXT, POLICE5 VARCHAR(20));"
                            "INSERT INTO ListBase VALUES ('', ';')"));
    }
    writeAlias(false);
}

TestDatabase::~TestDatabase()
{
    Databases::closeAll();
    QSettings ini(Databases::aliasesFile(), QSettings::IniFormat);
    ini.remove(m_alias);
}

void TestDatabase::writeAlias(bool readOnly)
{
    QDir().mkpath(QFileInfo(Databases::aliasesFile()).absolutePath());
    QSettings ini(Databases::aliasesFile(), QSettings::IniFormat);
    ini.remove(m_alias);
    ini.beginGroup(m_alias);
    ini.setValue(QStringLiteral("driver"), QStringLiteral("SQLITE"));
    ini.setValue(QStringLiteral("database"), m_path);
    if (readOnly)
        ini.setValue(QStringLiteral("readonly"), QStringLiteral("true"));
    ini.endGroup();
    ini.sync();
    keepAliasesPrivate();
    Databases::closeAll();
}

void TestDatabase::setReadOnly(bool readOnly)
{
    writeAlias(readOnly);
}

namespace
{
struct Handle {
    sqlite3* db = nullptr;
    explicit Handle(const QString& path)
    {
        if (sqlite3_open(path.toUtf8().constData(), &db) != SQLITE_OK)
            throw std::runtime_error("cannot open test database");
        sqlite3_busy_timeout(db, 5000);
    }
    ~Handle() { sqlite3_close(db); }
};
} // namespace

void TestDatabase::exec(const QString& sql) const
{
    Handle h(m_path);
    char* error = nullptr;
    if (sqlite3_exec(h.db, sql.toUtf8().constData(), nullptr, nullptr, &error) != SQLITE_OK) {
        const QByteArray message = QByteArray("test database: ") + (error ? error : "") + " in " + sql.toUtf8();
        sqlite3_free(error);
        QTest::qFail(message.constData(), __FILE__, __LINE__);
        throw std::runtime_error(message.constData());
    }
}

QVariant TestDatabase::value(const QString& sql) const
{
    Handle h(m_path);
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(h.db, sql.toUtf8().constData(), -1, &stmt, nullptr) != SQLITE_OK)
        throw std::runtime_error(sqlite3_errmsg(h.db));
    QVariant result;
    if (sqlite3_step(stmt) == SQLITE_ROW) {
        switch (sqlite3_column_type(stmt, 0)) {
        case SQLITE_INTEGER:
            result = qint64(sqlite3_column_int64(stmt, 0));
            break;
        case SQLITE_FLOAT:
            result = sqlite3_column_double(stmt, 0);
            break;
        case SQLITE_TEXT:
            result = QString::fromUtf8(
                reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)), sqlite3_column_bytes(stmt, 0));
            break;
        case SQLITE_BLOB:
            result = QByteArray(static_cast<const char*>(sqlite3_column_blob(stmt, 0)), sqlite3_column_bytes(stmt, 0));
            break;
        default:
            break;
        }
    }
    sqlite3_finalize(stmt);
    return result;
}
