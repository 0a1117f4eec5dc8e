// Times sending one mail with an attachment through the real security library to a peer on this machine.
//   qb_bench_send LIBRARY PORT ATTACHMENT   (SSL_CERT_FILE must trust the peer's certificate)
// Prints the total time and the number of replies read, whose 100 ms waits are the floor.

#include "mail/securitylibrary.h"
#include "mail/smtpsession.h"
#include "shell/programstate.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s LIBRARY PORT ATTACHMENT\n", argv[0]);
        return 2;
    }
    mail::loadSecurityLibrary(argv[1]);
    if (!mail::securityLibrary().complete() || mail::securityLibrary().init() != 0) {
        std::fprintf(stderr, "the security library can't be used\n");
        return 1;
    }
    shell::attachmentList = {argv[3]};
    std::string errorText;
    const auto start = std::chrono::steady_clock::now();
    const int result = mail::sendMail("ann@example.com", "bob@example.com", "Bench", "Body", "localhost",
                                      std::atoi(argv[2]), "ann", "secret", errorText);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    mail::securityLibrary().end();
    // Greeting, EHLO, AUTH LOGIN, user, password, MAIL FROM, RCPT TO, DATA, message, QUIT.
    std::printf("result %d seconds %.3f replies 10 %s\n", result, seconds, errorText.c_str());
    return result == 0 ? 0 : 1;
}
