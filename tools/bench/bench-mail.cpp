// Measures the mail composition.
//   qb_bench_mail [FOLDER]   base64 throughput on 256 MB (best of 3), composing a message with a 20 MB
//                            attachment written to FOLDER (default $TMPDIR or /tmp): time and peak extra memory,
//                            and composing 1 MB of text outside ASCII, which goes as quoted-printable

#include "mail/message.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr size_t megabyte = 1000 * 1000;

// A field of /proc/self/status in kB, or -1.
long statusKilobytes(const char* field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(field) + ":";
    while (std::getline(status, line)) {
        if (line.compare(0, prefix.size(), prefix) == 0)
            return std::atol(line.c_str() + prefix.size());
    }
    return -1;
}

// Lets VmHWM start again from the current resident size, so earlier work doesn't hide the peak.
bool resetPeakMemory()
{
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    return clear.good();
}

double secondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::string pseudoRandomBytes(size_t size)
{
    std::string bytes(size, '\0');
    uint64_t state = 0x9e3779b97f4a7c15u;
    for (size_t i = 0; i < size; ++i) {
        state = state * 6364136223846793005u + 1442695040888963407u;
        bytes[i] = static_cast<char>(state >> 56);
    }
    return bytes;
}

} // namespace

int main(int argc, char** argv)
{
    const char* tmp = std::getenv("TMPDIR");
    const std::string folder = argc > 1 ? argv[1] : (tmp && *tmp ? tmp : "/tmp");
    const std::string attachmentPath = folder + "/qb-bench-mail-" + std::to_string(::getpid()) + ".bin";
    const size_t attachmentSize = 20 * megabyte;

    // The attachment first, written in small pieces, while the process is still small.
    {
        std::ofstream file(attachmentPath, std::ios::binary | std::ios::trunc);
        const std::string piece = pseudoRandomBytes(megabyte);
        for (size_t written = 0; written < attachmentSize; written += piece.size())
            file.write(piece.data(), static_cast<std::streamsize>(piece.size()));
        if (!file.good()) {
            std::fprintf(stderr, "can't write %s\n", attachmentPath.c_str());
            return 1;
        }
    }
    const std::vector<std::string> attachments{attachmentPath};
    // The MIME database loads once per process; keep that out of the attachment's cost.
    mail::contentTypeForExtension("bin");

    const bool peakReset = resetPeakMemory();
    const long baselineKb = peakReset ? statusKilobytes("VmRSS") : statusKilobytes("VmHWM");
    auto start = std::chrono::steady_clock::now();
    size_t messageSize = 0;
    {
        const std::string message = mail::composeMessage("me@example.org", "you@example.net", "Bench", "Body\r\n",
                                                         attachments, "bench.example.org");
        messageSize = message.size();
    }
    double composeSeconds = secondsSince(start);
    const long peakKb = statusKilobytes("VmHWM");
    for (int run = 1; run < 3; ++run) {
        start = std::chrono::steady_clock::now();
        const std::string message = mail::composeMessage("me@example.org", "you@example.net", "Bench", "Body\r\n",
                                                         attachments, "bench.example.org");
        composeSeconds = std::min(composeSeconds, secondsSince(start));
        messageSize = std::max(messageSize, message.size());
    }
    std::remove(attachmentPath.c_str());
    const double extraMb = (peakKb - baselineKb) * 1024.0 / megabyte;
    std::printf("compose, 20 MB attachment: %.1f ms (best of 3), message %.1f MB, peak extra memory %.1f MB = "
                "%.2fx the attachment%s\n",
                composeSeconds * 1000, double(messageSize) / megabyte, extraMb,
                extraMb * megabyte / double(attachmentSize), peakReset ? "" : " (peak not reset; from VmHWM)");

    // 1 MB of typed text with accents and euro signs in lines of about 70 bytes: quoted-printable throughout.
    std::string text;
    while (text.size() < megabyte)
        text += "Voiture d'occasion \xC3\xA0 vendre, tr\xC3\xA8s bon \xC3\xA9tat, 4 500 \xE2\x82\xAC = prix ferme.\r\n";
    double quotedBest = 0;
    size_t quotedSize = 0;
    for (int run = 0; run < 3; ++run) {
        start = std::chrono::steady_clock::now();
        const std::string message
            = mail::composeMessage("me@example.org", "you@example.net", "Bench", text, {}, "bench.example.org");
        const double seconds = secondsSince(start);
        quotedSize = message.size();
        if (run == 0 || seconds < quotedBest)
            quotedBest = seconds;
    }
    std::printf("compose, 1 MB of text as quoted-printable: %.1f ms (best of 3), message %.2f MB\n", quotedBest * 1000,
                double(quotedSize) / megabyte);

    const size_t benchSize = 256 * megabyte;
    const std::string input = pseudoRandomBytes(benchSize);
    double best = 0;
    size_t encodedSize = 0;
    for (int run = 0; run < 3; ++run) {
        start = std::chrono::steady_clock::now();
        const std::string encoded = mail::base64Encode(input);
        const double seconds = secondsSince(start);
        encodedSize = encoded.size();
        if (run == 0 || seconds < best)
            best = seconds;
    }
    std::printf("base64Encode, 256 MB: %.0f MB/s (best of 3, %.1f ms, %zu chars out)\n",
                double(benchSize) / megabyte / best, best * 1000, encodedSize);
    return encodedSize == (benchSize + 2) / 3 * 4 ? 0 : 1;
}
