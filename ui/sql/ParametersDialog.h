#pragma once

#include "engine/StatementParameters.h"

#include <QDialog>
#include <QList>

class QCheckBox;
class QLineEdit;
class QPushButton;

// "Paramètres de la requête": one line per named parameter, in the order given, with
// its name, a field holding the proposed value and a check box "NULL" that gives
// null instead. "Exécuter" (the default, which Enter presses) and "Annuler" (Escape).
// Laid out in the system's font, it grows with it; past twenty lines, the lines scroll.
class ParametersDialog : public QDialog
{
    Q_OBJECT
public:
    explicit ParametersDialog(const NamedValues& proposed, QWidget* parent = nullptr);

    // The names with what their fields hold.
    NamedValues values() const;

    // One per parameter, in order.
    QList<QLineEdit*> EditsValeur;
    QList<QCheckBox*> CheckBoxesNull;
    QPushButton* ButtonExecuter;
    QPushButton* ButtonAnnuler;

private:
    NamedValues m_proposed;
};
