#pragma once

#include "ui/Dialogs.h"

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The prompt for a user name and password, captioned "Connexion base de données":
// the database's name, two fields of at most 31 characters, the password shown as
// "*", "OK" and "Annuler". After a refused password it says so above the fields. Under
// them, "Mémoriser le mot de passe" asks for the password to be kept in the system's store
// (checked when one is kept already); disabled, with the reason under it, where no store
// answers.
class LoginDialog : public QDialog
{
    Q_OBJECT
public:
    explicit LoginDialog(const Dialogs::LoginRequest& request, QWidget* parent = nullptr);

    // What the fields hold.
    Login login() const;

    QLabel* LabelBase;
    QLabel* LabelRefus;
    // Why the password written for the alias was not used, and how to mend it.
    QLabel* LabelAvis;
    QLineEdit* EditUtilisateur;
    QLineEdit* EditMotDePasse;
    QCheckBox* CaseMemoriser;
    // Why no password can be remembered; hidden where the store answers.
    QLabel* LabelTrousseau;
    QPushButton* ButtonOK;
    QPushButton* ButtonAnnuler;
};

// The prompt for a table's password, captioned "Saisie du mot de passe": one field of
// at most 31 characters shown as "*", "OK" and "Annuler".
class TablePasswordDialog : public QDialog
{
    Q_OBJECT
public:
    explicit TablePasswordDialog(const Dialogs::TablePasswordRequest& request, QWidget* parent = nullptr);

    QString password() const;

    QLabel* LabelTable;
    QLineEdit* EditMotDePasse;
    QPushButton* ButtonOK;
    QPushButton* ButtonAnnuler;
};
