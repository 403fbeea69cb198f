#include "ScriptedDialogs.h"

ScriptedDialogs::ScriptedDialogs()
{
    Dialogs::install(this);
}

ScriptedDialogs::~ScriptedDialogs()
{
    Dialogs::install(nullptr);
}

QList<ScriptedDialogs::Call> ScriptedDialogs::callsOf(const QString& kind) const
{
    QList<Call> result;
    for (const Call& c : calls)
        if (c.kind == kind)
            result << c;
    return result;
}

QStringList ScriptedDialogs::messageTexts() const
{
    QStringList texts;
    for (const Call& c : calls)
        if (c.kind == QLatin1String("message"))
            texts << c.message.text;
    return texts;
}

int ScriptedDialogs::messageBox(QWidget*, const MessageBox& box)
{
    Call c;
    c.kind = QStringLiteral("message");
    c.message = box;
    calls << c;
    return messageAnswers.isEmpty() ? box.defaultButton : messageAnswers.takeFirst();
}

std::optional<Dialogs::SaveFileResult> ScriptedDialogs::saveFile(QWidget*, const SaveFile& request)
{
    Call c;
    c.kind = QStringLiteral("save");
    c.save = request;
    calls << c;
    return saveAnswers.isEmpty() ? std::nullopt : saveAnswers.takeFirst();
}

bool ScriptedDialogs::print(QWidget*, QPrinter& printer, const PrintSetup& setup)
{
    Call c;
    c.kind = QStringLiteral("print");
    c.print = setup;
    calls << c;
    return printAnswers.isEmpty() ? false : printAnswers.takeFirst()(printer);
}

std::optional<Login> ScriptedDialogs::login(QWidget*, const LoginRequest& request)
{
    Call c;
    c.kind = QStringLiteral("login");
    c.login = request;
    calls << c;
    return loginAnswers.isEmpty() ? std::nullopt : loginAnswers.takeFirst();
}

std::optional<QString> ScriptedDialogs::tablePassword(QWidget*, const TablePasswordRequest& request)
{
    Call c;
    c.kind = QStringLiteral("tablePassword");
    c.tablePassword = request;
    calls << c;
    return tablePasswordAnswers.isEmpty() ? std::nullopt : tablePasswordAnswers.takeFirst();
}

std::optional<Dialogs::Find> ScriptedDialogs::find(QWidget*, const Find& request)
{
    Call c;
    c.kind = QStringLiteral("find");
    c.find = request;
    calls << c;
    return findAnswers.isEmpty() ? std::nullopt : findAnswers.takeFirst();
}

std::optional<NamedValues> ScriptedDialogs::parameters(QWidget*, const NamedValues& proposed)
{
    Call c;
    c.kind = QStringLiteral("parameters");
    c.parameters = proposed;
    calls << c;
    return parametersAnswers.isEmpty() ? std::nullopt : parametersAnswers.takeFirst();
}

std::optional<RowFilter::Condition> ScriptedDialogs::filter(QWidget*, const FilterRequest& request)
{
    Call c;
    c.kind = QStringLiteral("filter");
    c.filter = request;
    calls << c;
    return filterAnswers.isEmpty() ? std::nullopt : filterAnswers.takeFirst();
}
