#pragma once

#include "ui/Dialogs.h"

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QPushButton;

// The find dialog, captioned "Rechercher": the text to find, "Respecter la casse",
// "Rechercher" (the default, once there is a text) and "Annuler".
class FindDialog : public QDialog
{
    Q_OBJECT
public:
    explicit FindDialog(const Dialogs::Find& request, QWidget* parent = nullptr);

    // What the controls hold.
    Dialogs::Find find() const;

    QLineEdit* EditTexte;
    QCheckBox* CheckBoxCasse;
    QPushButton* ButtonRechercher;
    QPushButton* ButtonAnnuler;
};
