#!/usr/bin/env python3
"""Builds a practice-like benchmark database: patients, their visits and the invoices
of the visits, the same rows every time (values derived from the row numbers).

    patients  (id INTEGER PRIMARY KEY, nom VARCHAR(40), prenom VARCHAR(30),
               ville VARCHAR(60), naissance DATE)                        VISITS / 10 rows
    visites   (id INTEGER PRIMARY KEY, patient INTEGER, date_visite DATE,
               motif VARCHAR(60), tarif MONEY, note TEXT)                VISITS rows
    factures  (id INTEGER PRIMARY KEY, visite INTEGER, date_facture DATE,
               montant MONEY, payee BOOLEAN)                             VISITS rows

with an index on visites(patient) and one on factures(visite), and the program's
settings table ListBase. Dates run over eleven
years (132 months), a tenth of the notes mention "urgent".

Usage: make_practice_db.py PATH [VISITS]  (1,000,000 by default)
       make_practice_db.py --postgres-sql [VISITS]   the same rows as SQL for psql
"""
import os
import sqlite3
import sys

from make_bench_db import FIRST, NAMES, TOWNS

REASONS = ["Consultation", "Renouvellement", "Vaccin", "Certificat", "Suivi tension",
           "Douleur dorsale", "Bilan sanguin", "Contrôle", "Pansement", "Visite à domicile"]
NOTES = ["RAS", "revoir dans un mois", "traitement poursuivi", "bilan à prévoir",
         "allergie pénicilline", "TA 12/8, stable", "douleur légère", "suivi cardiologue",
         "contrôle dans 15 jours", "\"urgent\" : adresser aux urgences"]


def pick(values, expression):
    """A CASE that picks one of values by expression (0-based), as SQL text."""
    cases = " ".join(f"WHEN {i} THEN '{v.replace(chr(39), chr(39) * 2)}'" for i, v in enumerate(values))
    return f"CASE {expression} {cases} END"


def statements(visits, date_of, series):
    """The SQL that creates and fills the three tables; date_of turns a day count after
    2014-01-01 (an SQL expression) into a date, series(count) gives count rows of a
    column n from 1."""
    patients = max(visits // 10, 1)
    # Pseudo-random but fixed: multiplicative hashes of the row number.
    h = "((n * 2654435761) % 4294967291)"
    return [
        "CREATE TABLE patients (id INTEGER PRIMARY KEY, nom VARCHAR(40), prenom VARCHAR(30), "
        "ville VARCHAR(60), naissance DATE)",
        "CREATE TABLE visites (id INTEGER PRIMARY KEY, patient INTEGER, date_visite DATE, "
        "motif VARCHAR(60), tarif MONEY, note TEXT)",
        "CREATE TABLE factures (id INTEGER PRIMARY KEY, visite INTEGER, date_facture DATE, "
        "montant MONEY, payee BOOLEAN)",
        f"INSERT INTO patients SELECT n, {pick(NAMES, f'{h} % 32')}, {pick(FIRST, f'({h} / 32) % 16')}, "
        f"{pick(TOWNS, f'({h} / 512) % 12')}, {date_of(f'-({h} % 32000) - 2000')} "
        f"FROM {series(patients)}",
        f"INSERT INTO visites SELECT n, 1 + {h} % {patients}, {date_of(f'(n * 4015) / {visits}')}, "
        f"{pick(REASONS, f'{h} % 10')} || ' ' || (({h} / 10) % 200), ({h} % 9000) / 100.0 + 25, "
        f"{pick(NOTES, f'({h} / 7) % 10')} FROM {series(visits)}",
        f"INSERT INTO factures SELECT n, n, {date_of(f'(n * 4015) / {visits} + ({h} % 30)')}, "
        f"({h} % 9000) / 100.0 + 25, {h} % 5 <> 0 FROM {series(visits)}",
        "CREATE INDEX visites_patient ON visites(patient)",
        "CREATE INDEX factures_visite ON factures(visite)",
        # The program's settings table, as a practice's database holds it.
        "CREATE TABLE ListBase (TTTYPES TEXT, POLICE5 VARCHAR(20))",
        "INSERT INTO ListBase (TTTYPES, POLICE5) VALUES ('', ';')",
    ]


def sqlite_series(count):
    return f"(WITH RECURSIVE s(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM s WHERE n < {count}) SELECT n FROM s)"


def build_sqlite(path, visits):
    if os.path.exists(path):
        os.remove(path)
    os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
    db = sqlite3.connect(path)
    db.executescript("PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF;")
    for sql in statements(visits, lambda days: f"date('2014-01-01', ({days}) || ' days')", sqlite_series):
        db.execute(sql)
    db.commit()
    db.execute("ANALYZE")
    db.commit()
    db.close()
    print(f"{path}: {visits} visits, file {os.path.getsize(path) / 1e6:.1f} MB")


def postgres_sql(visits):
    """The same tables for PostgreSQL (dates as date, amounts as numeric, the flag as boolean)."""
    out = []
    for sql in statements(visits, lambda days: f"(DATE '2014-01-01' + ({days})::int)",
                          lambda count: f"generate_series(1, {count}::bigint) AS n"):
        out.append(sql.replace("MONEY", "NUMERIC(10,2)"))
    out.append("VACUUM FREEZE ANALYZE")
    return out


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    if sys.argv[1] == "--postgres-sql":
        visits = int(sys.argv[2]) if len(sys.argv) > 2 else 1_000_000
        print(";\n".join(postgres_sql(visits)) + ";")
        return
    build_sqlite(sys.argv[1], int(sys.argv[2]) if len(sys.argv) > 2 else 1_000_000)


if __name__ == "__main__":
    main()
