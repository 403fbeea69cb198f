#include "engine/sqlite/DefaultDatabase.h"

#include "platform/Exceptions.h"
#include "platform/Utf8.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <sqlite3.h>

namespace
{

const char* const kLastNames[] = {
    "Arnaud",
    "Barbier",
    "Benoît",
    "Bertin",
    "Blanchard",
    "Bonnet",
    "Boyer",
    "Brun",
    "Carpentier",
    "Chevalier",
    "Colin",
    "Dufour",
    "Dumont",
    "Duval",
    "Fabre",
    "Faure",
    "Fontaine",
    "Garnier",
    "Gauthier",
    "Girard",
    "Guérin",
    "Joly",
    "Lacroix",
    "Lambert",
    "Lefèvre",
    "Lemaire",
    "Marchand",
    "Masson",
    "Mercier",
    "Meunier",
    "Morel",
    "Noël",
    "Perrin",
    "Picard",
    "Renaud",
    "Rivière",
    "Roussel",
    "Roche",
    "Vidal",
    "Vincent",
};
const char* const kFirstNames[] = {
    "Adèle",
    "Alain",
    "Amélie",
    "Bastien",
    "Brigitte",
    "Camille",
    "Cédric",
    "Chloé",
    "Denis",
    "Élodie",
    "Étienne",
    "Fanny",
    "Gaëlle",
    "Gérard",
    "Hélène",
    "Hugo",
    "Inès",
    "Jérôme",
    "Josiane",
    "Léa",
    "Lucien",
    "Maëlys",
    "Marcel",
    "Noémie",
    "Odile",
    "Pascal",
    "Raphaël",
    "Solène",
    "Thérèse",
    "Yves",
};
const char* const kNotes[] = {
    "Allergie à la pénicilline.\r\nContrôle annuel conseillé.",
    "Suivi tensionnel : TA < 14/9 & stable.",
    "Vaccins à jour.",
    "Asthme d'effort ; \"Ventoline\" si besoin.\r\nRevoir dans 6 mois.\r\nCourrier au spécialiste envoyé.",
    "Antécédents familiaux de diabète.",
    "Patient adressé par le Dr Martin.\r\nBilan sanguin demandé.",
    "",
};

// A small deterministic generator, so every first start makes the same demo.
struct Generator {
    quint32 state = 20240611u;
    quint32 next()
    {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    }
    int below(int n) { return int(next() % quint32(n)); }
};

struct Db {
    sqlite3* db = nullptr;
    ~Db() { sqlite3_close(db); }
    void exec(const char* sql)
    {
        char* error = nullptr;
        if (sqlite3_exec(db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
            const QString message = Utf8::decode(error ? error : sqlite3_errmsg(db));
            sqlite3_free(error);
            throw EDatabaseError(message);
        }
    }
};

void fill(Db& d)
{
    d.exec("BEGIN");
    d.exec("CREATE TABLE ListBase (TTTYPES TEXT, POLICE5 VARCHAR(20))");
    d.exec("INSERT INTO ListBase (TTTYPES, POLICE5) VALUES ('', ';')");
    d.exec("CREATE TABLE PaBase ("
           "NUMERO INTEGER PRIMARY KEY, NOM VARCHAR(30), PRENOM VARCHAR(20), "
           "NAISSANCE DATE, SOLDE MONEY, ASSURE BOOLEAN, NOTES TEXT, PHOTO BLOB)");
    sqlite3_stmt* stmt = nullptr;
    const char* insert = "INSERT INTO PaBase VALUES (?, ?, ?, ?, ?, ?, ?, ?)";
    if (sqlite3_prepare_v2(d.db, insert, -1, &stmt, nullptr) != SQLITE_OK)
        throw EDatabaseError(Utf8::decode(sqlite3_errmsg(d.db)));
    Generator g;
    for (int i = 1; i <= DefaultDatabase::kPatientCount; ++i) {
        sqlite3_reset(stmt);
        sqlite3_clear_bindings(stmt);
        sqlite3_bind_int(stmt, 1, i);
        sqlite3_bind_text(stmt, 2, kLastNames[g.below(int(std::size(kLastNames)))], -1, SQLITE_STATIC);
        if (i % 17 != 0)
            sqlite3_bind_text(stmt, 3, kFirstNames[g.below(int(std::size(kFirstNames)))], -1, SQLITE_STATIC);
        const QByteArray born = QDate(1930, 1, 1).addDays(g.below(365 * 85)).toString(Qt::ISODate).toUtf8();
        if (i % 23 != 0)
            sqlite3_bind_text(stmt, 4, born.constData(), int(born.size()), SQLITE_TRANSIENT);
        if (i % 11 != 0)
            sqlite3_bind_double(stmt, 5, (g.below(40000) - 10000) / 100.0);
        sqlite3_bind_int(stmt, 6, g.below(4) != 0 ? 1 : 0);
        const char* note = kNotes[g.below(int(std::size(kNotes)))];
        if (i % 5 != 0)
            sqlite3_bind_text(stmt, 7, note, -1, SQLITE_STATIC);
        QByteArray photo;
        if (i % 10 == 0) {
            // A tiny invented "image": a header and bytes of every value, zero included.
            photo = QByteArray("VPHOTO\0", 7);
            for (int b = 0; b < 64; ++b)
                photo.append(char((b * 37 + i) & 0xFF));
            sqlite3_bind_blob(stmt, 8, photo.constData(), int(photo.size()), SQLITE_TRANSIENT);
        }
        if (sqlite3_step(stmt) != SQLITE_DONE) {
            const QString message = Utf8::decode(sqlite3_errmsg(d.db));
            sqlite3_finalize(stmt);
            throw EDatabaseError(message);
        }
    }
    sqlite3_finalize(stmt);
    d.exec("COMMIT");
}

} // namespace

namespace DefaultDatabase
{

void create(const QString& fileName)
{
    const QFileInfo info(fileName);
    if (!QDir().mkpath(info.absolutePath()))
        throw EDatabaseError(
            QStringLiteral("Ne peut créer le dossier %1").arg(QDir::toNativeSeparators(info.absolutePath())));
    const QString temporary = fileName + QStringLiteral(".creating");
    QFile::remove(temporary);
    {
        Db d;
        const QByteArray path = temporary.toUtf8();
        if (sqlite3_open_v2(path.constData(), &d.db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr)
            != SQLITE_OK) {
            const QString message = Utf8::decode(d.db ? sqlite3_errmsg(d.db) : "out of memory");
            throw EDatabaseError(message + QStringLiteral(" : ") + temporary);
        }
        try {
            fill(d);
        } catch (...) {
            sqlite3_close(d.db);
            d.db = nullptr;
            QFile::remove(temporary);
            throw;
        }
    }
    if (!QFile::rename(temporary, fileName)) {
        QFile::remove(temporary);
        throw EDatabaseError(QStringLiteral("Ne peut créer le fichier %1").arg(QDir::toNativeSeparators(fileName)));
    }
}

} // namespace DefaultDatabase
