#pragma once

#include <QString>
#include <exception>

// Failures travel as exceptions that carry the message shown to the user.
// className() names the kind of error in the start-up failure box.
class Exception : public std::exception
{
public:
    explicit Exception(QString message);
    const QString& message() const noexcept { return m_message; }
    const char* what() const noexcept override { return m_utf8.constData(); }
    virtual const char* className() const noexcept { return "Exception"; }
    // Code address where the exception was raised (for the start-up failure box).
    const void* address() const noexcept { return m_address; }

private:
    QString m_message;
    QByteArray m_utf8;
    const void* m_address;
};

#define VELOSQL_EXCEPTION_CLASS(Name, Base)                                                                            \
    class Name : public Base                                                                                           \
    {                                                                                                                  \
    public:                                                                                                            \
        using Base::Base;                                                                                              \
        const char* className() const noexcept override { return #Name; }                                              \
    };

// Errors of the database engine; the message is the engine's own text. position() is
// where the engine points in the statement's text (a UTF-16 index into the text that
// was run), or -1 when it points nowhere.
class EDatabaseError : public Exception
{
public:
    explicit EDatabaseError(QString message, qsizetype position = -1);
    const char* className() const noexcept override { return "EDatabaseError"; }
    qsizetype position() const noexcept { return m_position; }

private:
    qsizetype m_position;
};

// Errors of the printing platform ("Impression en cours").
VELOSQL_EXCEPTION_CLASS(EPrinter, Exception)

// A file could not be opened, written or closed. code() is the system error code
// mapped as the program reports it: 2 missing file, 3 missing folder or bad name,
// 4 too many open files, 5 access denied or read-only; any other keeps its number.
class EInOutError : public Exception
{
public:
    EInOutError(QString message, int code);
    const char* className() const noexcept override { return "EInOutError"; }
    int code() const noexcept { return m_code; }

private:
    int m_code;
};

// Error text for a system file error code, as the program reports it:
// 2 "Fichier introuvable", 3 "Nom de fichier incorrect", 4 "Trop de fichiers ouverts",
// 5 "Accès au fichier refusé", anything else "Erreur E/S <code>".
QString inOutErrorMessage(int code);

// Maps the C library's errno to the program's file error codes (see EInOutError).
int fileErrorCode(int systemError);
