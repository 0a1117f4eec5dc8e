// A stand-in for cryptlib32.so that fails on request, so the transport's failure paths can be reached without a
// network. Modes: 0 normal, 1 push takes only 4 bytes, 2 push fails, 3 flush fails, 4 pop fails, 5 activation
// fails. Pops hand out the reply set with faultSetReply; every byte pushed is kept for faultPushed, and
// faultPlainFirst tells whether the session was to start in clear.

#include "mail/cryptlib/cryptlib.h"

#include <algorithm>
#include <cstring>
#include <string>

#define FAULT_EXPORT __attribute__((visibility("default")))

namespace {

// Plain globals (no inline or template statics), so dlclose really unloads the library and a fresh load
// starts clean.
int mode = 0;
std::string reply;
size_t replyRead = 0;
std::string pushed;
int plainFirst = 0; // the last CRYPT_SESSINFO_PLAINTEXT_FIRST set

} // namespace

extern "C" {

FAULT_EXPORT void faultSetMode(int newMode)
{
    mode = newMode;
}

FAULT_EXPORT void faultSetReply(const char* bytes, int length)
{
    reply = bytes && length > 0 ? std::string(bytes, size_t(length)) : std::string();
    replyRead = 0;
}

// Copies up to capacity bytes of what was pushed since the library was loaded (or since cryptInit) and returns
// how many it copied; with out null it returns the whole length.
FAULT_EXPORT int faultPushed(char* out, int capacity)
{
    if (!out)
        return static_cast<int>(pushed.size());
    const size_t count = std::min(pushed.size(), size_t(std::max(capacity, 0)));
    std::memcpy(out, pushed.data(), count);
    return static_cast<int>(count);
}

// Whether the last session was asked to start in clear (for STARTTLS).
FAULT_EXPORT int faultPlainFirst()
{
    return plainFirst;
}

FAULT_EXPORT int cryptInit(void)
{
    pushed.clear();
    plainFirst = 0;
    return CRYPT_OK;
}

FAULT_EXPORT int cryptEnd(void)
{
    return CRYPT_OK;
}

FAULT_EXPORT int cryptCreateSession(int* cryptSession, int, int)
{
    if (!cryptSession)
        return CRYPT_ERROR_PARAM1;
    *cryptSession = 7;
    return CRYPT_OK;
}

FAULT_EXPORT int cryptDestroySession(int)
{
    return CRYPT_OK;
}

FAULT_EXPORT int cryptSetAttribute(int, int attributeType, int value)
{
    if (attributeType == CRYPT_SESSINFO_PLAINTEXT_FIRST)
        plainFirst = value;
    return mode == 5 && attributeType == CRYPT_SESSINFO_ACTIVE ? CRYPT_ERROR_OPEN : CRYPT_OK;
}

FAULT_EXPORT int cryptSetAttributeString(int, int, const void*, int)
{
    return CRYPT_OK;
}

FAULT_EXPORT int cryptPushData(int, const void* buffer, int length, int* bytesCopied)
{
    if (!bytesCopied)
        return CRYPT_ERROR_PARAM4;
    *bytesCopied = 0;
    if (mode == 2)
        return CRYPT_ERROR_WRITE;
    if (!buffer || length < 0)
        return CRYPT_ERROR_PARAM2;
    const int taken = mode == 1 ? std::min(length, 4) : length;
    pushed.append(static_cast<const char*>(buffer), size_t(taken));
    *bytesCopied = taken;
    return CRYPT_OK;
}

FAULT_EXPORT int cryptFlushData(int)
{
    return mode == 3 ? CRYPT_ERROR_WRITE : CRYPT_OK;
}

FAULT_EXPORT int cryptPopData(int, void* buffer, int length, int* bytesCopied)
{
    if (!bytesCopied)
        return CRYPT_ERROR_PARAM4;
    *bytesCopied = 0;
    if (mode == 4)
        return CRYPT_ERROR_READ;
    if (!buffer || length < 0)
        return CRYPT_ERROR_PARAM2;
    const size_t count = std::min(reply.size() - replyRead, size_t(length));
    std::memcpy(buffer, reply.data() + replyRead, count);
    replyRead += count;
    *bytesCopied = static_cast<int>(count);
    return CRYPT_OK;
}

// The local address of a loopback connection, as the real library gives it.
FAULT_EXPORT int cryptGetAttributeString(int, int, void* value, int* valueLength)
{
    if (!valueLength)
        return CRYPT_ERROR_PARAM4;
    const char address[] = "127.0.0.1";
    const int length = sizeof address - 1;
    if (value) {
        if (*valueLength < length)
            return CRYPT_ERROR_OVERFLOW;
        std::memcpy(value, address, size_t(length));
    }
    *valueLength = length;
    return CRYPT_OK;
}

// No certificate is ever seen here.
FAULT_EXPORT int cryptGetAttribute(int, int, int*)
{
    return CRYPT_ERROR_NOTFOUND;
}

FAULT_EXPORT int cryptCreateEnvelope(int*, int, int)
{
    return CRYPT_ERROR_NOTAVAIL;
}

FAULT_EXPORT int cryptDestroyEnvelope(int)
{
    return CRYPT_ERROR_NOTAVAIL;
}

} // extern "C"
