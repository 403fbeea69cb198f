// The part of the sqlite3 shell that the tests use, for systems without the shell:
//   velosql_sqliteshell -bail -cmd ".timeout MS" FILE [SQL]
// runs SQL on FILE, or else each statement read from standard input until ".quit" or
// its end. An error is written to standard error and ends the program with 1.
#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
// shellapi.h needs windows.h first.
#include <shellapi.h>
#endif

namespace
{

bool run(sqlite3* db, const std::string& sql)
{
    char* error = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) == SQLITE_OK)
        return true;
    std::fprintf(stderr, "Error: %s\n", error ? error : sqlite3_errmsg(db));
    sqlite3_free(error);
    return false;
}

// Statements from standard input, each run once it is complete.
int runInput(sqlite3* db)
{
    std::string pending;
    char line[4096];
    while (std::fgets(line, sizeof line, stdin)) {
        if (pending.empty() && std::strncmp(line, ".quit", 5) == 0)
            break;
        pending += line;
        if (!sqlite3_complete(pending.c_str()))
            continue;
        if (!run(db, pending))
            return 1;
        pending.clear();
    }
    return 0;
}

// The arguments in UTF-8, as the shell takes them: Windows gives main() the ANSI code
// page's.
std::vector<std::string> arguments(int argc, char** argv)
{
    std::vector<std::string> result;
#ifdef _WIN32
    (void)argc;
    (void)argv;
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 0; i < count; ++i) {
        const int size = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
        std::string utf8(size_t(size > 0 ? size - 1 : 0), '\0');
        WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, utf8.data(), size, nullptr, nullptr);
        result.push_back(utf8);
    }
    LocalFree(wide);
#else
    result.assign(argv, argv + argc);
#endif
    return result;
}

} // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> args = arguments(argc, argv);
    int timeout = 0;
    const char* file = nullptr;
    const char* sql = nullptr;
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "-bail")
            continue;
        if (args[i] == "-cmd" && i + 1 < args.size()) {
            if (args[++i].rfind(".timeout ", 0) == 0)
                timeout = std::atoi(args[i].c_str() + 9);
        } else if (!file) {
            file = args[i].c_str();
        } else {
            sql = args[i].c_str();
        }
    }
    sqlite3* db = nullptr;
    if (!file || sqlite3_open(file, &db) != SQLITE_OK) {
        std::fprintf(stderr, "Error: cannot open %s\n", file ? file : "(no file)");
        sqlite3_close(db);
        return 1;
    }
    sqlite3_busy_timeout(db, timeout);
    const int status = sql ? (run(db, sql) ? 0 : 1) : runInput(db);
    sqlite3_close(db);
    return status;
}
