// A stand-in for the Simple MAPI library, built on the program's own declaration of
// the published message record. It appends one line per event to the file named by
// VELOSQL_FAKEMAPI_LOG:
//   load | unload
//   call session=N window=N flags=N reserved=N subject=HEX note=HEX recips=N files=N others=0|1
// (HEX: the string's bytes before its zero, "-" for a null pointer; others=1 when a
// field the program must leave empty is set). MAPISendMail returns the number in
// VELOSQL_FAKEMAPI_RESULT (0 when unset).
#include "output/mail/MapiMessage.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#if defined(_WIN32)
#define FAKEMAPI_EXPORT extern "C" __declspec(dllexport)
#else
#define FAKEMAPI_EXPORT extern "C" __attribute__((visibility("default")))
#endif

using namespace SimpleMapi;

namespace
{

void record(const std::string& line)
{
    const char* path = std::getenv("VELOSQL_FAKEMAPI_LOG");
    if (!path || !*path)
        return;
    if (std::FILE* f = std::fopen(path, "ab")) {
        std::fputs((line + "\n").c_str(), f);
        std::fclose(f);
    }
}

struct Lifetime {
    Lifetime() { record("load"); }
    ~Lifetime() { record("unload"); }
} lifetime;

#ifndef FAKEMAPI_NO_ENTRY
std::string hex(const char* s)
{
    if (!s)
        return "-";
    std::string out;
    char byte[3];
    for (; *s; ++s) {
        std::snprintf(byte, sizeof byte, "%02x", unsigned(static_cast<unsigned char>(*s)));
        out += byte;
    }
    return out;
}
#endif

} // namespace

#ifndef FAKEMAPI_NO_ENTRY
FAKEMAPI_EXPORT ULONG VELOSQL_MAPI_CALL MAPISendMail(
    LHANDLE lhSession, ULONG_PTR ulUIParam, MapiMessage* lpMessage, FLAGS flFlags, ULONG ulReserved)
{
    const MapiMessage& m = *lpMessage;
    const bool others = m.ulReserved || m.lpszMessageType || m.lpszDateReceived || m.lpszConversationID || m.flFlags
        || m.lpOriginator || m.lpRecips || m.lpFiles;
    record("call session=" + std::to_string(lhSession) + " window=" + std::to_string(ulUIParam)
        + " flags=" + std::to_string(flFlags) + " reserved=" + std::to_string(ulReserved)
        + " subject=" + hex(m.lpszSubject) + " note=" + hex(m.lpszNoteText) + " recips=" + std::to_string(m.nRecipCount)
        + " files=" + std::to_string(m.nFileCount) + " others=" + (others ? "1" : "0"));
    const char* result = std::getenv("VELOSQL_FAKEMAPI_RESULT");
    return result ? ULONG(std::strtoul(result, nullptr, 10)) : 0;
}
#endif
