#pragma once
// The TLS library (a cryptlib-compatible shared library staged beside the program), bound at run time by name.

#include <string>

namespace mail {

// The library's file name in the program folder.
inline constexpr const char* securityLibraryFileName = "cryptlib32.so";

using CryptInitFn = int (*)();
using CryptEndFn = int (*)();
using CryptSetAttributeFn = int (*)(int handle, int attribute, int value);
using CryptSetAttributeStringFn = int (*)(int handle, int attribute, const void* value, int valueLength);
using CryptGetAttributeFn = int (*)(int handle, int attribute, int* value);
using CryptGetAttributeStringFn = int (*)(int handle, int attribute, void* value, int* valueLength);
using CryptCreateSessionFn = int (*)(int* session, int user, int sessionType);
using CryptDestroySessionFn = int (*)(int session);
using CryptCreateEnvelopeFn = int (*)(int* envelope, int user, int formatType);
using CryptDestroyEnvelopeFn = int (*)(int envelope);
using CryptPushDataFn = int (*)(int handle, const void* buffer, int length, int* bytesCopied);
using CryptFlushDataFn = int (*)(int handle);
using CryptPopDataFn = int (*)(int handle, void* buffer, int length, int* bytesCopied);

struct SecurityLibrary {
    void* handle = nullptr;
    CryptInitFn init = nullptr;
    CryptEndFn end = nullptr;
    CryptSetAttributeFn setAttribute = nullptr;
    CryptSetAttributeStringFn setAttributeString = nullptr;
    CryptGetAttributeFn getAttribute = nullptr;
    CryptGetAttributeStringFn getAttributeString = nullptr;
    CryptCreateSessionFn createSession = nullptr;
    CryptDestroySessionFn destroySession = nullptr;
    CryptCreateEnvelopeFn createEnvelope = nullptr;
    CryptDestroyEnvelopeFn destroyEnvelope = nullptr;
    CryptPushDataFn pushData = nullptr;
    CryptFlushDataFn flushData = nullptr;
    CryptPopDataFn popData = nullptr;

    // True only when the library and all thirteen entry points were found; nothing may be called otherwise.
    bool complete() const;
};

// The process's library, filled once at start-up.
SecurityLibrary& securityLibrary();

// Loads the library by full path and looks up the thirteen entry points by their exact names, in the order
// cryptInit, cryptEnd, cryptSetAttribute, cryptSetAttributeString, cryptCreateSession, cryptDestroySession,
// cryptCreateEnvelope, cryptDestroyEnvelope, cryptPushData, cryptFlushData, cryptPopData, cryptGetAttributeString
// (the connection's local address, for the EHLO name; the server's certificate) and cryptGetAttribute (why the
// certificate was refused). Nothing is reported: a missing library or entry point leaves its member empty.
void loadSecurityLibrary(const std::string& libraryPath);
void releaseSecurityLibrary();

} // namespace mail
