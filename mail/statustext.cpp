#include "mail/statustext.h"

namespace mail {

namespace {

struct StatusEntry {
    int status;
    const char* text;
};

// The library's own numbering; the gaps are codes it never returns.
constexpr StatusEntry statusTexts[] = {
    {0, ""},
    {-1, "Bad argument - parameter 1"},
    {-2, "Bad argument - parameter 2"},
    {-3, "Bad argument - parameter 3"},
    {-4, "Bad argument - parameter 4"},
    {-5, "Bad argument - parameter 5"},
    {-6, "Bad argument - parameter 6"},
    {-7, "Bad argument - parameter 7"},
    {-10, "Out of memory"},
    {-11, "Data has not been initialized"},
    {-12, "Data has already been initialized"},
    {-13, "Operation not available at requested security level"},
    {-14, "No reliable random data available"},
    {-15, "Operation failed"},
    {-16, "Internal consistency check failed"},
    {-20, "This type of operation not available"},
    {-21, "No permission to perform this operation"},
    {-22, "Incorrect key used to decrypt data"},
    {-23, "Operation incomplete/still in progress"},
    {-24, "Operation complete/can't continue"},
    {-25, "Operation timed out before completion"},
    {-26, "Invalid/inconsistent information"},
    {-27, "Resource destroyed by external event"},
    {-30, "Resources/space exhausted"},
    {-31, "Not enough data available"},
    {-32, "Bad/unrecognised data format"},
    {-33, "Signature/integrity check failed"},
    {-40, "Cannot open object"},
    {-41, "Cannot read item from object"},
    {-42, "Cannot write item to object"},
    {-43, "Requested item not found in object"},
    {-44, "Item already present in object"},
    {-50, "Need resource to proceed"},
};

} // namespace

std::string securityStatusText(int status)
{
    for (const StatusEntry& entry : statusTexts) {
        if (entry.status == status)
            return entry.text;
    }
    return "Unknown error code: " + std::to_string(status);
}

} // namespace mail
