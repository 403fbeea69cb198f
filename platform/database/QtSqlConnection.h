#pragma once

#include "Connection.h"

#include <QHash>
#include <QStringList>

struct AliasSettings;

// A server database (PostgreSQL, ODBC, MySQL) reached through a Qt SQL driver.
class QtSqlConnection : public Connection
{
public:
    // Connects as the alias says; throws EDatabaseError with the driver's message.
    explicit QtSqlConnection(const AliasSettings& settings);
    ~QtSqlConnection() override;

    QueryResult execute(const QString& sql) override;
    bool isReadOnly() const override { return m_readOnly; }
    TableResult openTable(const QString& table) override;
    void updateRow(
        const QString& table, const QVariantList& key, const QStringList& columns, const QVariantList& values) override;
    void insertRow(const QString& table, const QStringList& columns, const QVariantList& values) override;

private:
    QString m_name;
    bool m_readOnly;
    QHash<QString, QStringList> m_keyColumns;
};
