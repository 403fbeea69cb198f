#pragma once

#include "ui/Dialogs.h"

#include <QList>
#include <functional>

// Answers the program's questions from a script and records every call.
// Installed for the lifetime of the object; the Qt dialogs come back after it.
// With no scripted answer left: a message box answers its default button, a save
// dialog and a print dialog are cancelled, a login, a table password and a find are
// cancelled, and so are the parameters' and the filter's dialogs.
class ScriptedDialogs : public Dialogs
{
public:
    struct Call {
        // "message", "save", "print", "login", "tablePassword", "find", "parameters", "filter"
        QString kind;
        MessageBox message;
        SaveFile save;
        PrintSetup print;
        LoginRequest login;
        TablePasswordRequest tablePassword;
        Find find;
        NamedValues parameters; // the names and the values proposed
        FilterRequest filter;
    };

    ScriptedDialogs();
    ~ScriptedDialogs() override;

    QList<Call> calls;
    QList<int> messageAnswers;
    QList<std::optional<SaveFileResult>> saveAnswers;
    // Each answer sets up the printer (a PDF file, say) and returns whether the
    // dialog is confirmed.
    QList<std::function<bool(QPrinter&)>> printAnswers;
    QList<std::optional<Login>> loginAnswers;
    QList<std::optional<QString>> tablePasswordAnswers;
    QList<std::optional<Find>> findAnswers;
    QList<std::optional<NamedValues>> parametersAnswers;
    QList<std::optional<RowFilter::Condition>> filterAnswers;

    // Calls of one kind.
    QList<Call> callsOf(const QString& kind) const;
    // The texts of the message boxes shown, in order.
    QStringList messageTexts() const;

    int messageBox(QWidget* parent, const MessageBox& box) override;
    std::optional<SaveFileResult> saveFile(QWidget* parent, const SaveFile& request) override;
    bool print(QWidget* parent, QPrinter& printer, const PrintSetup& setup) override;
    std::optional<Login> login(QWidget* parent, const LoginRequest& request) override;
    std::optional<QString> tablePassword(QWidget* parent, const TablePasswordRequest& request) override;
    std::optional<Find> find(QWidget* parent, const Find& request) override;
    std::optional<NamedValues> parameters(QWidget* parent, const NamedValues& proposed) override;
    std::optional<RowFilter::Condition> filter(QWidget* parent, const FilterRequest& request) override;
};
