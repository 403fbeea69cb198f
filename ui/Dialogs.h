#pragma once

#include "data/RowFilter.h"
#include "engine/Credentials.h"
#include "engine/StatementParameters.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

class QWidget;
class QPrinter;

// Every modal question of the program goes through this interface. The program
// uses QtDialogs; tests install a scripted implementation that answers and records.
class Dialogs
{
public:
    enum class Icon { None, Information, Warning, Question, Error };

    struct MessageBox {
        QString caption;
        QString text;
        Icon icon = Icon::None;
        QStringList buttons; // texts, left to right
        int defaultButton = 0; // index into buttons
        int escapeButton = -1; // answer given by Escape or by closing the box
    };

    struct SaveFile {
        QString title;
        QStringList filters; // one entry each: "Fichiers HTML (*.htm)"
        QString defaultSuffix; // without the dot: "htm"
        QString directory; // initial folder
        QString fileName; // proposed file name (full path or bare name)
        int filterIndex = 1; // 1-based, as the program counts entries
    };

    struct SaveFileResult {
        QString fileName; // full path
        int filterIndex = 1; // 1-based
    };

    struct PrintSetup {
        bool allowPrintToFile = true;
        bool allowSelection = true;
        bool allowPageRange = true;
        bool allowCopies = true;
        bool collateCopies = false;
    };

    // The login prompt: the database named, a proposed user name, whether the server
    // refused the last password, why a password of the alias was not used, whether a
    // password is remembered, and why none can be (empty when the system's store answers).
    struct LoginRequest {
        QString caption;
        QString database;
        QString user;
        bool retry = false;
        QString notice;
        bool remembered = false;
        QString storeUnavailable;
    };

    // The prompt for a table's password.
    struct TablePasswordRequest {
        QString caption;
        QString table;
    };

    // What the find dialog "Rechercher" asks: the text and whether letter case counts.
    struct Find {
        QString text;
        bool caseSensitive = false;
    };

    // What the filter dialog "Filtrer" asks: a condition on the column named, starting
    // from condition; ordered offers "est compris entre". The dialog stays open while
    // problem names what keeps the condition from filtering the column.
    struct FilterRequest {
        QString column;
        bool ordered = false;
        RowFilter::Condition condition;
        std::function<QString(const RowFilter::Condition&)> problem;
    };

    virtual ~Dialogs() = default;

    // Returns the index of the button chosen (escapeButton when the box is closed).
    virtual int messageBox(QWidget* parent, const MessageBox& box) = 0;
    virtual std::optional<SaveFileResult> saveFile(QWidget* parent, const SaveFile& request) = 0;
    // Runs the print dialog on printer; true when confirmed (printer then holds the choice).
    virtual bool print(QWidget* parent, QPrinter& printer, const PrintSetup& setup) = 0;
    // Asks for a user name and password (at most 31 characters each).
    virtual std::optional<Login> login(QWidget* parent, const LoginRequest& request) = 0;
    // Asks for a table's password (at most 31 characters).
    virtual std::optional<QString> tablePassword(QWidget* parent, const TablePasswordRequest& request) = 0;
    // Asks what to find, starting from request; nothing when cancelled.
    virtual std::optional<Find> find(QWidget* parent, const Find& request) = 0;
    // Asks the values of a statement's parameters, named in proposed in order with the
    // values proposed; the names with the values given, or nothing when cancelled.
    virtual std::optional<NamedValues> parameters(QWidget* parent, const NamedValues& proposed) = 0;
    // Asks a condition on a column of the result; nothing when cancelled.
    virtual std::optional<RowFilter::Condition> filter(QWidget* parent, const FilterRequest& request) = 0;

    // The program's error box, through messageBox: the stop icon and one "OK" button,
    // which Escape answers too.
    void showError(QWidget* parent, const QString& caption, const QString& text);

    // The installed implementation (QtDialogs unless a test installed another).
    static Dialogs& instance();
    // Installs d (not owned); nullptr restores the Qt implementation.
    static void install(Dialogs* d);
};
