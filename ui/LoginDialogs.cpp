#include "ui/LoginDialogs.h"

#include "ui/widgets/DialogFit.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProxyStyle>
#include <QPushButton>
#include <QVBoxLayout>

namespace
{
// The longest user name or password that the prompts take.
constexpr int kMaxLength = 31;

// Shows every character of a password as "*", at once, whatever the platform's habit.
class StarPasswordStyle : public QProxyStyle
{
public:
    int styleHint(
        StyleHint hint, const QStyleOption* option, const QWidget* widget, QStyleHintReturn* returnData) const override
    {
        if (hint == SH_LineEdit_PasswordCharacter)
            return '*';
        if (hint == SH_LineEdit_PasswordMaskDelay)
            return 0;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

QLineEdit* makeEdit(QWidget* dialog, const QString& name, const QString& text)
{
    auto* edit = new QLineEdit(text, dialog);
    edit->setObjectName(name);
    edit->setMaxLength(kMaxLength);
    return edit;
}

QLineEdit* makePasswordEdit(QWidget* dialog)
{
    QLineEdit* edit = makeEdit(dialog, QStringLiteral("EditMotDePasse"), QString());
    edit->setEchoMode(QLineEdit::Password);
    // Made after the field and owned by the dialog, so that it outlives the field.
    auto* style = new StarPasswordStyle;
    style->setParent(dialog);
    edit->setStyle(style);
    return edit;
}

// "OK" (the default, which Enter presses) and "Annuler" (which Escape presses).
QDialogButtonBox* makeButtons(QDialog* dialog, QPushButton*& ok, QPushButton*& cancel)
{
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
    ok = buttons->button(QDialogButtonBox::Ok);
    cancel = buttons->button(QDialogButtonBox::Cancel);
    ok->setText(QStringLiteral("OK"));
    ok->setObjectName(QStringLiteral("ButtonOK"));
    ok->setDefault(true);
    cancel->setText(QStringLiteral("Annuler"));
    cancel->setObjectName(QStringLiteral("ButtonAnnuler"));
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return buttons;
}

QLabel* makeLabel(QWidget* dialog, const QString& name, const QString& text)
{
    auto* label = new QLabel(text, dialog);
    label->setObjectName(name);
    return label;
}

// A dialog of fixed size with its fields over its buttons, wide enough for a title
// bar that shows its whole caption.
void lay(QDialog* dialog, const QList<QWidget*>& above, QFormLayout* form, QDialogButtonBox* buttons,
    const QList<QWidget*>& below = {})
{
    auto* layout = new QVBoxLayout(dialog);
    const QMargins margins = layout->contentsMargins();
    layout->addStrut(DialogFit::captionWidth(dialog->windowTitle()) - margins.left() - margins.right());
    // A wrapped label takes lines of 80 characters, which a large system font makes
    // wider than a small screen: there its lines are the screen's width.
    const int room = DialogFit::textSize(dialog, 80, 1).width() - margins.left() - margins.right();
    for (QWidget* w : above + below)
        if (auto* label = qobject_cast<QLabel*>(w); label && label->wordWrap())
            label->setMaximumWidth(room);
    for (QWidget* w : above)
        layout->addWidget(w);
    layout->addLayout(form);
    for (QWidget* w : below)
        layout->addWidget(w);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}
} // namespace

LoginDialog::LoginDialog(const Dialogs::LoginRequest& request, QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("LoginDialog"));
    setWindowTitle(request.caption);
    LabelBase
        = makeLabel(this, QStringLiteral("LabelBase"), QStringLiteral("Base de données : %1").arg(request.database));
    LabelRefus = makeLabel(this, QStringLiteral("LabelRefus"),
        QStringLiteral("Le serveur a refusé ce nom d'utilisateur ou ce mot de passe. Essayez de nouveau."));
    LabelRefus->setWordWrap(true);
    LabelRefus->setVisible(request.retry);
    LabelAvis = makeLabel(this, QStringLiteral("LabelAvis"), request.notice);
    LabelAvis->setWordWrap(true);
    LabelAvis->setTextInteractionFlags(Qt::TextSelectableByMouse);
    LabelAvis->setVisible(!request.notice.isEmpty());
    EditUtilisateur = makeEdit(this, QStringLiteral("EditUtilisateur"), request.user);
    EditMotDePasse = makePasswordEdit(this);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Nom d'utilisateur :"), EditUtilisateur);
    form->addRow(QStringLiteral("Mot de passe :"), EditMotDePasse);
    CaseMemoriser = new QCheckBox(QStringLiteral("Mémoriser le mot de passe"), this);
    CaseMemoriser->setObjectName(QStringLiteral("CaseMemoriser"));
    CaseMemoriser->setChecked(request.remembered && request.storeUnavailable.isEmpty());
    CaseMemoriser->setEnabled(request.storeUnavailable.isEmpty());
    CaseMemoriser->setToolTip(request.storeUnavailable);
    LabelTrousseau = makeLabel(this, QStringLiteral("LabelTrousseau"), request.storeUnavailable);
    LabelTrousseau->setWordWrap(true);
    LabelTrousseau->setVisible(!request.storeUnavailable.isEmpty());
    lay(this, { LabelBase, LabelAvis, LabelRefus }, form, makeButtons(this, ButtonOK, ButtonAnnuler),
        { CaseMemoriser, LabelTrousseau });
    // The user types where the answer is missing.
    if (EditUtilisateur->text().isEmpty())
        EditUtilisateur->setFocus();
    else
        EditMotDePasse->setFocus();
}

Login LoginDialog::login() const
{
    return Login { EditUtilisateur->text(), EditMotDePasse->text(), CaseMemoriser->isChecked() };
}

TablePasswordDialog::TablePasswordDialog(const Dialogs::TablePasswordRequest& request, QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("TablePasswordDialog"));
    setWindowTitle(request.caption);
    LabelTable = makeLabel(this, QStringLiteral("LabelTable"), QStringLiteral("Table : %1").arg(request.table));
    EditMotDePasse = makePasswordEdit(this);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Mot de passe :"), EditMotDePasse);
    lay(this, { LabelTable }, form, makeButtons(this, ButtonOK, ButtonAnnuler));
    EditMotDePasse->setFocus();
}

QString TablePasswordDialog::password() const
{
    return EditMotDePasse->text();
}
