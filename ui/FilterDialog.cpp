#include "ui/FilterDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

using RowFilter::Test;

FilterDialog::FilterDialog(const Dialogs::FilterRequest& request, QWidget* parent)
    : QDialog(parent)
    , m_request(request)
{
    setObjectName(QStringLiteral("FilterDialog"));
    setWindowTitle(QStringLiteral("Filtrer"));
    ComboBoxCondition = new QComboBox(this);
    ComboBoxCondition->setObjectName(QStringLiteral("ComboBoxCondition"));
    ComboBoxCondition->addItem(QStringLiteral("contient"), int(Test::Contains));
    ComboBoxCondition->addItem(QStringLiteral("est égal à"), int(Test::Equals));
    ComboBoxCondition->addItem(QStringLiteral("est vide"), int(Test::Empty));
    ComboBoxCondition->addItem(QStringLiteral("n'est pas vide"), int(Test::NotEmpty));
    if (request.ordered)
        ComboBoxCondition->addItem(QStringLiteral("est compris entre"), int(Test::Between));
    ComboBoxCondition->setCurrentIndex(qMax(0, ComboBoxCondition->findData(int(request.condition.test))));
    EditValeur = new QLineEdit(request.condition.value, this);
    EditValeur->setObjectName(QStringLiteral("EditValeur"));
    EditValeur->selectAll();
    EditJusqua = new QLineEdit(request.condition.upTo, this);
    EditJusqua->setObjectName(QStringLiteral("EditJusqua"));
    m_and = new QLabel(QStringLiteral("et :"), this);
    LabelProbleme = new QLabel(this);
    LabelProbleme->setObjectName(QStringLiteral("LabelProbleme"));
    LabelProbleme->setWordWrap(true);
    LabelProbleme->hide();

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    ButtonFiltrer = buttons->button(QDialogButtonBox::Ok);
    ButtonFiltrer->setText(QStringLiteral("Filtrer"));
    ButtonFiltrer->setObjectName(QStringLiteral("ButtonFiltrer"));
    ButtonFiltrer->setDefault(true);
    ButtonAnnuler = buttons->button(QDialogButtonBox::Cancel);
    ButtonAnnuler->setText(QStringLiteral("Annuler"));
    ButtonAnnuler->setObjectName(QStringLiteral("ButtonAnnuler"));
    connect(buttons, &QDialogButtonBox::accepted, this, &FilterDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(ComboBoxCondition, &QComboBox::currentIndexChanged, this, &FilterDialog::showFields);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Colonne :"), new QLabel(request.column, this));
    form->addRow(QStringLiteral("Condition :"), ComboBoxCondition);
    form->addRow(QStringLiteral("Valeur :"), EditValeur);
    form->addRow(m_and, EditJusqua);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(LabelProbleme);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    EditValeur->setMinimumWidth(fontMetrics().averageCharWidth() * 40);
    showFields();
    EditValeur->setFocus();
}

RowFilter::Condition FilterDialog::condition() const
{
    RowFilter::Condition c;
    c.test = Test(ComboBoxCondition->currentData().toInt());
    if (c.test != Test::Empty && c.test != Test::NotEmpty)
        c.value = EditValeur->text();
    if (c.test == Test::Between)
        c.upTo = EditJusqua->text();
    return c;
}

void FilterDialog::accept()
{
    const QString problem = m_request.problem ? m_request.problem(condition()) : QString();
    LabelProbleme->setText(problem);
    LabelProbleme->setVisible(!problem.isEmpty());
    if (problem.isEmpty())
        QDialog::accept();
}

void FilterDialog::showFields()
{
    const auto test = Test(ComboBoxCondition->currentData().toInt());
    EditValeur->setEnabled(test != Test::Empty && test != Test::NotEmpty);
    EditJusqua->setVisible(test == Test::Between);
    m_and->setVisible(test == Test::Between);
    LabelProbleme->hide();
}
