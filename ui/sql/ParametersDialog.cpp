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

    auto* area = new QScrollArea(this);
    area->setObjectName(QStringLiteral("ScrollParametres"));
    area->setFrameShape(QFrame::NoFrame);
    area->setWidgetResizable(true);
    area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    area->setWidget(lines);
    // As wide as the lines and, up to kShownLines of them, as high; a scroll bar beyond.
    const QSize wanted = lines->sizeHint();
    const bool scrolls = proposed.size() > kShownLines;
    area->setVerticalScrollBarPolicy(scrolls ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    area->setMinimumWidth(wanted.width() + (scrolls ? area->verticalScrollBar()->sizeHint().width() : 0));
    area->setMinimumHeight(scrolls ? wanted.height() * kShownLines / int(proposed.size()) : wanted.height());

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    ButtonExecuter = buttons->button(QDialogButtonBox::Ok);
    ButtonExecuter->setText(QStringLiteral("Exécuter"));
    ButtonExecuter->setObjectName(QStringLiteral("ButtonExecuter"));
    ButtonExecuter->setDefault(true);
    ButtonAnnuler = buttons->button(QDialogButtonBox::Cancel);
    ButtonAnnuler->setText(QStringLiteral("Annuler"));
    ButtonAnnuler->setObjectName(QStringLiteral("ButtonAnnuler"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(area, 1);
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
