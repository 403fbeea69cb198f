#include "ui/sql/ParametersDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

namespace
{
// The longest value a field takes: as long as the cell memo's text.
constexpr int kMaxValueLength = 1 << 20;
// The most lines shown at once.
constexpr int kShownLines = 20;

// The parameters' lines in a scroll area as wide as they are and, up to kShownLines of
// them, as high; a scroll bar beyond.
QScrollArea* scrolled(QWidget* lines, qsizetype count, QWidget* parent)
{
    auto* area = new QScrollArea(parent);
    area->setObjectName(QStringLiteral("ScrollParametres"));
    area->setFrameShape(QFrame::NoFrame);
    area->setWidgetResizable(true);
    area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    area->setWidget(lines);
    const QSize wanted = lines->sizeHint();
    const bool scrolls = count > kShownLines;
    area->setVerticalScrollBarPolicy(scrolls ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    area->setMinimumWidth(wanted.width() + (scrolls ? area->verticalScrollBar()->sizeHint().width() : 0));
    area->setMinimumHeight(scrolls ? wanted.height() * kShownLines / int(count) : wanted.height());
    return area;
}

// "Exécuter" (the default) and "Annuler", which answer the dialog.
QDialogButtonBox* createButtons(QDialog* dialog)
{
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
    QPushButton* run = buttons->button(QDialogButtonBox::Ok);
    run->setText(QStringLiteral("Exécuter"));
    run->setObjectName(QStringLiteral("ButtonExecuter"));
    run->setDefault(true);
    QPushButton* cancel = buttons->button(QDialogButtonBox::Cancel);
    cancel->setText(QStringLiteral("Annuler"));
    cancel->setObjectName(QStringLiteral("ButtonAnnuler"));
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return buttons;
}
} // namespace

ParametersDialog::ParametersDialog(const NamedValues& proposed, QWidget* parent)
    : QDialog(parent)
    , m_proposed(proposed)
{
    setObjectName(QStringLiteral("ParametersDialog"));
    setWindowTitle(QStringLiteral("Paramètres de la requête"));

    auto* lines = new QWidget;
    auto* grid = new QGridLayout(lines);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setColumnStretch(1, 1);
    for (qsizetype i = 0; i < proposed.size(); ++i) {
        const NamedValue& p = proposed[i];
        const QString number = QString::number(i + 1);
        auto* label = new QLabel(QLatin1Char(':') + p.name, lines);
        label->setTextFormat(Qt::PlainText);
        auto* edit = new QLineEdit(lines);
        edit->setObjectName(QStringLiteral("EditValeur") + number);
        edit->setMaxLength(kMaxValueLength);
        edit->setText(p.value.text);
        edit->setAccessibleName(QStringLiteral("Valeur de %1").arg(p.name));
        edit->setMinimumWidth(fontMetrics().averageCharWidth() * 32);
        label->setBuddy(edit);
        auto* null = new QCheckBox(QStringLiteral("NULL"), lines);
        null->setObjectName(QStringLiteral("CheckBoxNull") + number);
        null->setAccessibleName(QStringLiteral("%1 sans valeur (NULL)").arg(p.name));
        // A null parameter has no text: its field waits, holding its text for later.
        connect(null, &QCheckBox::toggled, edit, &QWidget::setDisabled);
        null->setChecked(p.value.null);
        grid->addWidget(label, int(i), 0);
        grid->addWidget(edit, int(i), 1);
        grid->addWidget(null, int(i), 2);
        EditsValeur << edit;
        CheckBoxesNull << null;
    }

    auto* buttons = createButtons(this);
    ButtonExecuter = buttons->button(QDialogButtonBox::Ok);
    ButtonAnnuler = buttons->button(QDialogButtonBox::Cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(scrolled(lines, proposed.size(), this), 1);
    layout->addWidget(buttons);
    if (!EditsValeur.isEmpty()) {
        EditsValeur.first()->setFocus();
        EditsValeur.first()->selectAll();
    }
}

NamedValues ParametersDialog::values() const
{
    NamedValues values = m_proposed;
    for (qsizetype i = 0; i < values.size(); ++i)
        values[i].value = ParameterValue { EditsValeur[i]->text(), CheckBoxesNull[i]->isChecked() };
    return values;
}
