#pragma once

#include "ui/sql/SqlCompleter.h"

#include <QDialog>

class CatalogueModel;
class QLabel;
class QLineEdit;
class QModelIndex;
class QTreeView;

// "Tables": the tables and views of the database, each with its columns, their types
// and the primary key, narrowed by a filter as one types. Enter or a double-click on a
// table emits statementChosen("SELECT * FROM name"); on a column, nameChosen with its
// name; both written as the engine must read them (CatalogueModel::written). From the
// filter, Enter chooses the line selected in the list (the first table after each
// change) and the down arrow moves into the list. "Actualiser" asks for the catalogue
// again; Escape closes the window. A window of its own beside the query window, in the
// system's font, sized by it.
class TablesWindow : public QDialog
{
    Q_OBJECT
public:
    explicit TablesWindow(QWidget* parent = nullptr);

    // Shows names, keeping the filter; error, when set, says why there are none.
    void setNames(const SqlNames& names, const QString& error = {});

    QLineEdit* filter() const { return m_filter; }
    QTreeView* list() const { return m_list; }
    QLabel* status() const { return m_status; }
    CatalogueModel* model() const { return m_model; }

    // What the status line says of count tables shown out of all.
    static QString countText(int count, int all);

signals:
    void statementChosen(const QString& statement);
    void nameChosen(const QString& name);
    void reloadAsked();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void choose(const QModelIndex& index);
    // After the list changed: schemas open, the first table selected, the count said.
    void listChanged();

    CatalogueModel* m_model;
    QLineEdit* m_filter;
    QTreeView* m_list;
    QLabel* m_status;
    QString m_error;
};
