"""Heavy statements (bench/run --statements): each one timed through VeloSQL's
statement path beside the engine alone, on the bench database (Patients) and on a
practice-like one (patients, visites, factures; make_practice_db.py), then the
practice's statements on a PostgreSQL server beside psql.

Every side times the statement alone, its connection open, so that no program's
start-up counts:

    VeloSQL   statement_bench velosql: the query as the window runs it, progress and
              "Annuler" armed, the rows read into the result store
    sqlite3   the shell's own ".timer" around the statement, rows written to /dev/null
    C API     statement_bench engine: SQLite's C API stepping the rows, every value read
    psql      psql's "\\timing" (the sum over the statements of the text), --csv to /dev/null

The sides take turns, run after run, so that all see the same machine; the table
gives the medians and VeloSQL's ratio to each anchor (goal: 1.03 at most).
"""
import os
import re
import statistics
import subprocess
import sys
from pathlib import Path

GOAL = 1.03

# (database, name, SQL as VeloSQL runs it, SQL of the anchors when it differs).
# A text of several statements runs in one transaction (VeloSQL's batch): the anchors
# are given the same transaction in words.
SQLITE_STATEMENTS = [
    ("bench", "group by a function", "SELECT substr(naissance, 1, 7) AS mois, count(*), sum(honoraires) "
     "FROM Patients GROUP BY mois ORDER BY mois", None),
    ("bench", "order by text", "SELECT id, nom, ville FROM Patients ORDER BY nom", None),
    ("bench", "count like", "SELECT count(*) FROM Patients WHERE observation LIKE '%urgent%'", None),
    ("practice", "visits per month", "SELECT strftime('%Y-%m', date_visite) AS mois, count(*), sum(tarif) "
     "FROM visites GROUP BY mois ORDER BY mois", None),
    ("practice", "order by text", "SELECT id, motif, date_visite FROM visites ORDER BY motif", None),
    ("practice", "join", "SELECT v.patient, count(*), sum(f.montant) FROM visites v "
     "JOIN factures f ON f.visite = v.id GROUP BY v.patient", None),
    ("practice", "count like", "SELECT count(*) FROM visites WHERE note LIKE '%urgent%'", None),
    ("practice", "update all", "UPDATE visites SET tarif = tarif; SELECT changes()",
     "SAVEPOINT b; UPDATE visites SET tarif = tarif; SELECT changes(); RELEASE b;"),
]

POSTGRES_STATEMENTS = [
    ("visits per month", "SELECT to_char(date_visite, 'YYYY-MM') AS mois, count(*), sum(tarif) "
     "FROM visites GROUP BY mois ORDER BY mois", None),
    ("order by text", "SELECT id, motif, date_visite FROM visites ORDER BY motif", None),
    ("join", "SELECT v.patient, count(*), sum(f.montant) FROM visites v "
     "JOIN factures f ON f.visite = v.id GROUP BY v.patient", None),
    ("count like", "SELECT count(*) FROM visites WHERE note LIKE '%urgent%'", None),
    ("update all", "UPDATE visites SET tarif = tarif; SELECT 1",
     "BEGIN; UPDATE visites SET tarif = tarif; SELECT 1; COMMIT;"),
]


def writes(sql):
    return sql.lstrip().upper().startswith(("UPDATE", "SAVEPOINT", "BEGIN"))


def run_capture(command, stdin=None, env=None):
    done = subprocess.run(command, input=stdin, capture_output=True, text=True, env=env)
    if done.returncode != 0:
        sys.exit(f"{' '.join(map(str, command))} failed ({done.returncode}): {done.stderr}")
    return done.stdout


# Each side gives (wall seconds, processor seconds or None when it cannot tell).

def bench_seconds(bench, mode, database, sql):
    out = run_capture([bench, mode, database, sql] + (["--write"] if writes(sql) else []))
    found = re.search(r"statement_s=([\d.]+) cpu_s=([\d.]+)", out)
    return float(found.group(1)), float(found.group(2))


def shell_seconds(database, sql):
    out = run_capture(["sqlite3", database], stdin=f".timer on\n.output /dev/null\n{sql}\n")
    times = re.findall(r"Run Time: real ([\d.]+) user ([\d.]+) sys ([\d.]+)", out)
    return sum(float(t[0]) for t in times), sum(float(t[1]) + float(t[2]) for t in times)


def psql_seconds(psql, environment, sql):
    out = run_capture(psql + ["--csv", "-o", os.devnull], stdin=f"\\timing on\n{sql}\n", env=environment)
    return sum(float(t) for t in re.findall(r"Time: ([\d.]+) ms", out)) / 1000, None


def measure_all(sides, names, runs, after_each=None):
    """sides: {side: function(name) -> (wall, cpu)}; the medians per (name, side), each
    a pair (wall, cpu or None). The sides take turns in one order on even runs and in
    the other on odd ones, so that none always runs on what the other left;
    after_each(name) settles the database after each measure, untimed."""
    times = {(name, side): [] for name in names for side in sides}
    for run in range(runs):
        for name in names:
            for side, timed in (list(sides.items()) if run % 2 == 0 else list(sides.items())[::-1]):
                times[(name, side)].append(timed(name))
                if after_each:
                    after_each(name)
    return {key: tuple(statistics.median(v) if None not in v else None for v in zip(*values))
            for key, values in times.items()}


def table(title, names, medians, sides):
    """Wall medians and VeloSQL's ratio to each anchor; then the same in processor time
    where every side tells it."""
    ours, anchors = sides[0], sides[1:]
    print(f"\n{title}\n")
    for kind, index in (("wall", 0), ("CPU", 1)):
        if any(medians[(name, side)][index] is None for name in names for side in sides):
            continue
        print(f"{kind + ' time':28} {ours:>9}" + "".join(f" {a:>9} {'ratio':>6}" for a in anchors))
        for name in names:
            mine = medians[(name, ours)][index]
            line = f"{name:28} {mine:8.3f}s"
            for anchor in anchors:
                theirs = medians[(name, anchor)][index]
                line += f" {theirs:8.3f}s {mine / max(theirs, 1e-9):6.2f}"
            print(line)
        print()


def bench_sqlite(bench, databases, runs):
    statements = {f"{db}: {name}": (databases[db], sql, anchor or sql) for db, name, sql, anchor in SQLITE_STATEMENTS}
    names = list(statements)
    sides = {
        "VeloSQL": lambda n: bench_seconds(bench, "velosql", statements[n][0], statements[n][1]),
        "sqlite3": lambda n: shell_seconds(statements[n][0], statements[n][2]),
        "C API": lambda n: bench_seconds(bench, "engine", statements[n][0], statements[n][2]),
    }
    # One untimed pass brings the files into the page cache.
    for name in names:
        shell_seconds(statements[name][0], statements[name][2])
    medians = measure_all(sides, names, runs)
    table(f"SQLite, medians of {runs} runs (statement time, connection open; goal <= {GOAL} x)",
          names, medians, list(sides))


def load_practice(psql, environment, visits):
    sql = run_capture([sys.executable, str(Path(__file__).parent / "make_practice_db.py"), "--postgres-sql",
                       str(visits)])
    run_capture(psql, stdin=sql, env=environment)
    # The updates' dead rows are vacuumed between measures, never during one.
    run_capture(psql + ["-c", "ALTER TABLE visites SET (autovacuum_enabled = off)"], env=environment)


def bench_postgres(bench, cluster, runs, visits):
    with cluster as server:
        if server is None:
            print("\nPostgreSQL: no server programs in /usr/lib/postgresql, skipped")
            return
        url, psql, environment = server
        load_practice(psql, environment, visits)
        statements = {name: (sql, anchor or sql) for name, sql, anchor in POSTGRES_STATEMENTS}
        names = list(statements)
        sides = {
            "VeloSQL": lambda n: bench_seconds(bench, "velosql", url, statements[n][0]),
            "psql": lambda n: psql_seconds(psql, environment, statements[n][1]),
        }

        # An update leaves a million dead rows, which the next statement to read the
        # table would clean up on its time: they are vacuumed at once.
        def vacuum(name):
            if writes(statements[name][0]):
                run_capture(psql + ["-c", "VACUUM visites"], env=environment)

        for name in names:
            if not writes(statements[name][0]):
                psql_seconds(psql, environment, statements[name][1])
        medians = measure_all(sides, names, runs, vacuum)
        table(f"PostgreSQL on loopback, medians of {runs} runs (goal <= {GOAL} x psql)", names, medians,
              list(sides))


def main(args, cluster):
    """args: the options of bench/run; cluster: a function giving bench/run's throw-away
    PostgreSQL cluster in a folder."""
    bench = Path(args.build) / "bench" / "statement_bench"
    if not bench.exists():
        sys.exit(f"{bench} not found: build the project first (bash scripts/setup)")
    practice = Path(args.db).with_name("practice.sqlite")
    if not practice.exists():
        subprocess.run([sys.executable, str(Path(__file__).parent / "make_practice_db.py"), str(practice)],
                       check=True)
    bench_sqlite(bench, {"bench": args.db, "practice": str(practice)}, args.runs)
    if not args.no_postgres:
        bench_postgres(bench, cluster(str(Path(args.out) / "pg")), args.runs, 1_000_000)
