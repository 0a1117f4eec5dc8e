#pragma once
// The e-mail window's tests: the shell's fixture with the security library loaded and the tests' own certificate
// authority trusted, and the window opened from a toolbar button.

#include "shellfixture.h"
#include "tlspeer.h"

#include "mail/securitylibrary.h"

#include <QPushButton>

#include <stdlib.h>

#include <functional>

class MailWindowTest : public ShellTest {
protected:
    void SetUp() override
    {
        ShellTest::SetUp();
        ::setenv("SSL_CERT_FILE", TestCertificates::shared().caFile().c_str(), 1);
        mail::loadSecurityLibrary(QB_CRYPTLIB);
        ASSERT_TRUE(mail::securityLibrary().complete());
    }
    void TearDown() override
    {
        ShellTest::TearDown();
        mail::releaseSecurityLibrary();
    }
    // Opens the window from a toolbar button and runs act on it; true when it opened.
    bool withWindow(QPushButton* button, const std::function<void(QWidget*)>& act)
    {
        return withModalWindow("emailWindow", [button] { button->click(); }, act);
    }
};
