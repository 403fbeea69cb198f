#pragma once

#include "ui/Dialogs.h"

#include <QDialog>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The filter dialog, captioned "Filtrer": the column named, the test ("contient",
// "est égal à", "est vide", "n'est pas vide", and for numbers, dates and times "est
// compris entre"), the value, the second bound of an interval, and "Filtrer" (the
// default) and "Annuler". "Filtrer" keeps the dialog open, the reason shown under the
// fields, while the condition cannot filter the column.
class FilterDialog : public QDialog
{
    Q_OBJECT
public:
    explicit FilterDialog(const Dialogs::FilterRequest& request, QWidget* parent = nullptr);

    // What the controls hold.
    RowFilter::Condition condition() const;

    QComboBox* ComboBoxCondition;
    QLineEdit* EditValeur;
    QLineEdit* EditJusqua;
    QLabel* LabelProbleme;
    QPushButton* ButtonFiltrer;
    QPushButton* ButtonAnnuler;

    void accept() override;

private:
    // The fields the chosen test needs, enabled and shown.
    void showFields();

    Dialogs::FilterRequest m_request;
    QLabel* m_and = nullptr;
};
