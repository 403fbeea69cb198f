#include "ui/FindDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

FindDialog::FindDialog(const Dialogs::Find& request, QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("FindDialog"));
    setWindowTitle(QStringLiteral("Rechercher"));
    EditTexte = new QLineEdit(request.text, this);
    EditTexte->setObjectName(QStringLiteral("EditTexte"));
    EditTexte->selectAll();
    CheckBoxCasse = new QCheckBox(QStringLiteral("Respecter la casse"), this);
    CheckBoxCasse->setObjectName(QStringLiteral("CheckBoxCasse"));
    CheckBoxCasse->setChecked(request.caseSensitive);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    ButtonRechercher = buttons->button(QDialogButtonBox::Ok);
    ButtonRechercher->setText(QStringLiteral("Rechercher"));
    ButtonRechercher->setObjectName(QStringLiteral("ButtonRechercher"));
    ButtonRechercher->setDefault(true);
    ButtonAnnuler = buttons->button(QDialogButtonBox::Cancel);
    ButtonAnnuler->setText(QStringLiteral("Annuler"));
    ButtonAnnuler->setObjectName(QStringLiteral("ButtonAnnuler"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    // Nothing to find in an empty text.
    const auto allowSearch = [this] { ButtonRechercher->setEnabled(!EditTexte->text().isEmpty()); };
    connect(EditTexte, &QLineEdit::textChanged, this, allowSearch);
    allowSearch();

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Texte :"), EditTexte);
    form->addRow(QString(), CheckBoxCasse);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    EditTexte->setMinimumWidth(fontMetrics().averageCharWidth() * 40);
    EditTexte->setFocus();
}

Dialogs::Find FindDialog::find() const
{
    return { EditTexte->text(), CheckBoxCasse->isChecked() };
}
