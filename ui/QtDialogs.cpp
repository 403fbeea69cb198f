#include "ui/QtDialogs.h"

#include "platform/LineEnds.h"
#include "ui/FilterDialog.h"
#include "ui/FindDialog.h"
#include "ui/LoginDialogs.h"
#include "ui/sql/ParametersDialog.h"
#include "ui/widgets/DialogFit.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QRegularExpression>
#include <QVBoxLayout>

namespace
{
QMessageBox::Icon toQt(Dialogs::Icon icon)
{
    switch (icon) {
    case Dialogs::Icon::Information:
        return QMessageBox::Information;
    case Dialogs::Icon::Warning:
        return QMessageBox::Warning;
    case Dialogs::Icon::Question:
        return QMessageBox::Question;
    case Dialogs::Icon::Error:
        return QMessageBox::Critical;
    case Dialogs::Icon::None:
        break;
    }
    return QMessageBox::NoIcon;
}
} // namespace

QList<QPushButton*> QtDialogs::setUp(QMessageBox& mb, const MessageBox& box)
{
    mb.setIcon(toQt(box.icon));
    mb.setWindowTitle(box.caption);
    // A CR alone starts a new line in the box, as it does on Windows.
    mb.setText(LineEnds::toLf(box.text));
    QList<QPushButton*> buttons;
    for (int i = 0; i < box.buttons.size(); ++i) {
        const auto role = (i == box.escapeButton) ? QMessageBox::RejectRole : QMessageBox::AcceptRole;
        buttons.append(mb.addButton(box.buttons[i], role));
    }
    if (box.defaultButton >= 0 && box.defaultButton < buttons.size())
        mb.setDefaultButton(buttons[box.defaultButton]);
    if (box.escapeButton >= 0 && box.escapeButton < buttons.size())
        mb.setEscapeButton(buttons[box.escapeButton]);
    DialogFit::showWholeCaption(mb);
    return buttons;
}

int QtDialogs::messageBox(QWidget* parent, const MessageBox& box)
{
    QMessageBox mb(parent);
    const QList<QPushButton*> buttons = setUp(mb, box);
    mb.exec();
    const int index = int(buttons.indexOf(static_cast<QPushButton*>(mb.clickedButton())));
    return index >= 0 ? index : box.escapeButton;
}

std::optional<Dialogs::SaveFileResult> QtDialogs::saveFile(QWidget* parent, const SaveFile& request)
{
    QFileDialog dialog(parent, request.title, request.directory);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    dialog.setNameFilters(request.filters);
    if (request.filterIndex >= 1 && request.filterIndex <= request.filters.size())
        dialog.selectNameFilter(request.filters[request.filterIndex - 1]);
    // A name typed without an extension takes the chosen filter's own extension.
    const auto suffixOf = [&request](const QString& filter) {
        static const QRegularExpression single(QStringLiteral("\\(\\*\\.(\\w+)\\)$"));
        const auto m = single.match(filter);
        return m.hasMatch() ? m.captured(1) : request.defaultSuffix;
    };
    dialog.setDefaultSuffix(request.defaultSuffix);
    if (request.filterIndex >= 1 && request.filterIndex <= request.filters.size())
        dialog.setDefaultSuffix(suffixOf(request.filters[request.filterIndex - 1]));
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
        [&dialog, suffixOf](const QString& filter) { dialog.setDefaultSuffix(suffixOf(filter)); });
    if (!request.fileName.isEmpty())
        dialog.selectFile(request.fileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    SaveFileResult result;
    result.fileName = dialog.selectedFiles().constFirst();
    result.filterIndex = int(request.filters.indexOf(dialog.selectedNameFilter())) + 1;
    if (result.filterIndex < 1)
        result.filterIndex = 1;
    return result;
}

void QtDialogs::setUp(QPrintDialog& dialog, const PrintSetup& setup)
{
    QAbstractPrintDialog::PrintDialogOptions options;
    if (setup.allowPrintToFile)
        options |= QAbstractPrintDialog::PrintToFile;
    if (setup.allowSelection)
        options |= QAbstractPrintDialog::PrintSelection;
    if (setup.allowPageRange)
        options |= QAbstractPrintDialog::PrintPageRange;
    if (setup.allowCopies)
        options |= QAbstractPrintDialog::PrintCollateCopies;
    options |= QAbstractPrintDialog::PrintShowPageSize;
    dialog.setOptions(options);
    if (!setup.allowPageRange)
        DialogFit::withoutPageRange(dialog);
}

bool QtDialogs::print(QWidget* parent, QPrinter& printer, const PrintSetup& setup)
{
    printer.setCollateCopies(setup.collateCopies);
    QPrintDialog dialog(&printer, parent);
    setUp(dialog, setup);
    return dialog.exec() == QDialog::Accepted;
}

std::optional<Login> QtDialogs::login(QWidget* parent, const LoginRequest& request)
{
    LoginDialog dialog(request, parent);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.login();
}

std::optional<QString> QtDialogs::tablePassword(QWidget* parent, const TablePasswordRequest& request)
{
    TablePasswordDialog dialog(request, parent);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.password();
}

std::optional<Dialogs::Find> QtDialogs::find(QWidget* parent, const Find& request)
{
    FindDialog dialog(request, parent);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.find();
}

std::optional<NamedValues> QtDialogs::parameters(QWidget* parent, const NamedValues& proposed)
{
    ParametersDialog dialog(proposed, parent);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.values();
}

std::optional<RowFilter::Condition> QtDialogs::filter(QWidget* parent, const FilterRequest& request)
{
    FilterDialog dialog(request, parent);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.condition();
}
