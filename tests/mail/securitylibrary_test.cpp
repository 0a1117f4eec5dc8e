#include "mail/securitylibrary.h"

#include <gtest/gtest.h>

namespace {

TEST(SecurityLibrary, MissingFileLeavesEveryEntryEmpty)
{
    mail::loadSecurityLibrary("/nonexistent/cryptlib32.so");
    const mail::SecurityLibrary& lib = mail::securityLibrary();
    EXPECT_EQ(lib.handle, nullptr);
    EXPECT_EQ(lib.init, nullptr);
    EXPECT_EQ(lib.popData, nullptr);
    EXPECT_FALSE(lib.complete());
}

TEST(SecurityLibrary, LibraryWithoutTheEntryPointsIsIncomplete)
{
    // Any shared library that lacks the names: the handle is kept, the entries stay empty.
    mail::loadSecurityLibrary("libz.so.1");
    const mail::SecurityLibrary& lib = mail::securityLibrary();
    EXPECT_NE(lib.handle, nullptr);
    EXPECT_EQ(lib.createSession, nullptr);
    EXPECT_FALSE(lib.complete());
    mail::releaseSecurityLibrary();
    EXPECT_EQ(mail::securityLibrary().handle, nullptr);
}

} // namespace
