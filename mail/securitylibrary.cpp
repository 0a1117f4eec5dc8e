#include "mail/securitylibrary.h"

#include "platform/dynamiclibrary.h"

namespace mail {

bool SecurityLibrary::complete() const
{
    return handle && init && end && setAttribute && setAttributeString && createSession && destroySession
        && createEnvelope && destroyEnvelope && pushData && flushData && popData && getAttributeString && getAttribute;
}

SecurityLibrary& securityLibrary()
{
    static SecurityLibrary library;
    return library;
}

template <typename Fn> static void lookUp(Fn& member, void* handle, const char* name)
{
    member = reinterpret_cast<Fn>(platform::lookUpEntryPoint(handle, name));
}

void loadSecurityLibrary(const std::string& libraryPath)
{
    SecurityLibrary& lib = securityLibrary();
    lib = SecurityLibrary{};
    lib.handle = platform::loadLibrary(libraryPath);
    lookUp(lib.init, lib.handle, "cryptInit");
    lookUp(lib.end, lib.handle, "cryptEnd");
    lookUp(lib.setAttribute, lib.handle, "cryptSetAttribute");
    lookUp(lib.setAttributeString, lib.handle, "cryptSetAttributeString");
    lookUp(lib.createSession, lib.handle, "cryptCreateSession");
    lookUp(lib.destroySession, lib.handle, "cryptDestroySession");
    lookUp(lib.createEnvelope, lib.handle, "cryptCreateEnvelope");
    lookUp(lib.destroyEnvelope, lib.handle, "cryptDestroyEnvelope");
    lookUp(lib.pushData, lib.handle, "cryptPushData");
    lookUp(lib.flushData, lib.handle, "cryptFlushData");
    lookUp(lib.popData, lib.handle, "cryptPopData");
    lookUp(lib.getAttributeString, lib.handle, "cryptGetAttributeString");
    lookUp(lib.getAttribute, lib.handle, "cryptGetAttribute");
}

void releaseSecurityLibrary()
{
    SecurityLibrary& lib = securityLibrary();
    platform::unloadLibrary(lib.handle);
    lib = SecurityLibrary{};
}

} // namespace mail
