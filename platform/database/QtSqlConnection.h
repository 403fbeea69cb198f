#pragma once

#include "database/Connection.h"

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

    QueryResult execute(const QString& sql, const ProgressCallback& progress = {}) override;
    bool isReadOnly() const override { return m_readOnly; }
    TableResult openTable(const QString& table) override;
    void updateRow(const QString& table, const QVariantList& key, const std::vector<FieldChange>& changes) override;
    void insertRow(const QString& table, const QStringList& columns, const std::vector<FieldValue>& values) override;
    // A server does not say cheaply whether it changed: the marks are never known.
    ChangeMark changeMark() override { return {}; }

private:
    // The condition that finds the row with key, and the values it binds.
    QString whereKey(const QString& table, const QVariantList& key, QVariantList& bound) const;

    QString m_name;
    bool m_readOnly;
    QHash<QString, QStringList> m_keyColumns;
};
