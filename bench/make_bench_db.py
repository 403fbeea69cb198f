#!/usr/bin/env python3
"""Builds the benchmark database: one table Patients of ROWS rows (1,000,000 by
default) and 8 columns of mixed types, about a quarter gigabyte of data.

    id           INTEGER PRIMARY KEY
    nom          VARCHAR(40)   names with accents
    ville        VARCHAR(60)
    naissance    DATE          'YYYY-MM-DD'
    honoraires   MONEY         two decimals
    poids        REAL
    observation  TEXT          up to 200 characters with quotes, semicolons and
                               line breaks; null in 30 % of rows
    document     BLOB          in 10 % of rows, 200 to 2,200 bytes

Usage: make_bench_db.py PATH [ROWS]. The same rows every time (fixed seed).
"""
import os
import random
import sqlite3
import sys

NAMES = ["Martin", "Bernard", "Thomas", "Petit", "Robert", "Richard", "Durand", "Dubois",
         "Moreau", "Laurent", "Simon", "Michel", "Lefèvre", "Leroy", "Roux", "David",
         "Bertrand", "Morel", "Fournier", "Girard", "Bonnet", "Dupont", "Lambert", "Fontaine",
         "Rousseau", "Vincent", "Müller", "Faure", "André", "Mercier", "Blanc", "Guérin"]
FIRST = ["Élodie", "Jean", "Marie", "Hélène", "François", "Zoé", "Loïc", "Anaïs", "Noël",
         "Agnès", "Jérôme", "Cécile", "Gaëlle", "Benoît", "Inès", "Raphaël"]
TOWNS = ["Paris", "Lyon", "Marseille", "Saint-Étienne", "Besançon", "Orléans", "Nîmes",
         "Aix-en-Provence", "Clermont-Ferrand", "Châteauroux", "Évry-Courcouronnes", "Béziers"]
WORDS = ["tension", "stable", "revoir", "dans", "un", "mois", "\"urgent\"", "douleur;", "légère",
         "traitement", "poursuivi", "bilan", "sanguin", "à", "prévoir", "RAS", "allergie",
         "pénicilline", "contrôle", "TA 12/8", "poids ↑", "et", "suivi", "cardiologue"]


def memo(rng):
    if rng.random() < 0.3:
        return None
    limit = rng.randint(10, 200)
    parts = []
    size = 0
    while True:
        word = rng.choice(WORDS)
        sep = "\r\n" if rng.random() < 0.08 else " "
        if size + len(word) + len(sep) > limit:
            break
        parts.append(word + sep)
        size += len(word) + len(sep)
    return "".join(parts).rstrip() or "RAS"


def rows(count, rng):
    for i in range(1, count + 1):
        yield (
            i,
            f"{rng.choice(NAMES)} {rng.choice(FIRST)}",
            rng.choice(TOWNS),
            f"{rng.randint(1930, 2023):04d}-{rng.randint(1, 12):02d}-{rng.randint(1, 28):02d}",
            round(rng.uniform(-50, 2000), 2),
            round(rng.uniform(3, 150), 3),
            memo(rng),
            rng.randbytes(rng.randint(200, 2200)) if rng.random() < 0.1 else None,
        )


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    path = sys.argv[1]
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 1_000_000
    if os.path.exists(path):
        os.remove(path)
    os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
    db = sqlite3.connect(path)
    db.executescript("""
        PRAGMA journal_mode = OFF;
        PRAGMA synchronous = OFF;
        CREATE TABLE Patients (id INTEGER PRIMARY KEY, nom VARCHAR(40), ville VARCHAR(60),
            naissance DATE, honoraires MONEY, poids REAL, observation TEXT, document BLOB);
    """)
    db.executemany("INSERT INTO Patients VALUES (?, ?, ?, ?, ?, ?, ?, ?)", rows(count, random.Random(4)))
    db.commit()
    (size,) = db.execute(data_size_sql()).fetchone()
    db.close()
    print(f"{path}: {count} rows, {size / 1e6:.1f} MB of data, file {os.path.getsize(path) / 1e6:.1f} MB")


def data_size_sql():
    """Bytes of the values: 8 per number, the UTF-8 or raw bytes of texts and blobs."""
    cols = ["id", "nom", "ville", "naissance", "honoraires", "poids", "observation", "document"]
    terms = [f"""CASE typeof({c}) WHEN 'null' THEN 0 WHEN 'integer' THEN 8 WHEN 'real' THEN 8
                 ELSE length(CAST({c} AS BLOB)) END""" for c in cols]
    return "SELECT sum(" + " + ".join(terms) + ") FROM Patients"


if __name__ == "__main__":
    main()
