#pragma once

#include "ui/Dialogs.h"

#include <QList>

class QMessageBox;
class QPrintDialog;
class QPushButton;

// The real dialogs, on Qt's widgets.
class QtDialogs : public Dialogs
{
public:
    // Make the Qt dialogs ready to run, as the calls below run them: tests look at
    // them shown without running them. Returns the box's buttons, in order.
    static QList<QPushButton*> setUp(QMessageBox& mb, const MessageBox& box);
    static void setUp(QPrintDialog& dialog, const PrintSetup& setup);

    int messageBox(QWidget* parent, const MessageBox& box) override;
    std::optional<SaveFileResult> saveFile(QWidget* parent, const SaveFile& request) override;
    bool print(QWidget* parent, QPrinter& printer, const PrintSetup& setup) override;
    std::optional<Login> login(QWidget* parent, const LoginRequest& request) override;
    std::optional<QString> tablePassword(QWidget* parent, const TablePasswordRequest& request) override;
    std::optional<Find> find(QWidget* parent, const Find& request) override;
    std::optional<NamedValues> parameters(QWidget* parent, const NamedValues& proposed) override;
    std::optional<RowFilter::Condition> filter(QWidget* parent, const FilterRequest& request) override;
};
