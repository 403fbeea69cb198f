#pragma once

// The published Simple MAPI declarations used to hand a message to MAPISendMail,
// free of Qt so that a stand-in library can declare its entry point with them.
// ULONG is 32 bits wide on every system (unsigned long on Windows, unsigned int
// elsewhere).

#include <cstdint>

#if defined(_WIN32)
#define VELOSQL_MAPI_CALL __stdcall
#else
#define VELOSQL_MAPI_CALL
#endif

namespace SimpleMapi
{

#if defined(_WIN32)
using ULONG = unsigned long;
#else
using ULONG = unsigned int;
#endif
static_assert(sizeof(ULONG) == 4);

using ULONG_PTR = std::uintptr_t;
using LHANDLE = ULONG_PTR;
using FLAGS = ULONG;

struct MapiRecipDesc;
struct MapiFileDesc;

struct MapiMessage {
    ULONG ulReserved;
    char* lpszSubject;
    char* lpszNoteText;
    char* lpszMessageType;
    char* lpszDateReceived;
    char* lpszConversationID;
    FLAGS flFlags;
    MapiRecipDesc* lpOriginator;
    ULONG nRecipCount;
    MapiRecipDesc* lpRecips;
    ULONG nFileCount;
    MapiFileDesc* lpFiles;
};

constexpr FLAGS MAPI_LOGON_UI = 0x1;
constexpr FLAGS MAPI_NEW_SESSION = 0x2;
constexpr FLAGS MAPI_DIALOG = 0x8;

using SendMailFunction = ULONG(VELOSQL_MAPI_CALL*)(
    LHANDLE lhSession, ULONG_PTR ulUIParam, MapiMessage* lpMessage, FLAGS flFlags, ULONG ulReserved);

} // namespace SimpleMapi
