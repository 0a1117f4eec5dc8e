#include "mail/statustext.h"

#include <gtest/gtest.h>

namespace {

struct StatusCase {
    const char* name;
    int status;
    std::string text;
};

class StatusText : public ::testing::TestWithParam<StatusCase> { };

TEST_P(StatusText, Exact)
{
    EXPECT_EQ(mail::securityStatusText(GetParam().status), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    StatusKnownCodes, StatusText,
    ::testing::Values(
        StatusCase{"ok", 0, ""}, StatusCase{"param1", -1, "Bad argument - parameter 1"},
        StatusCase{"param2", -2, "Bad argument - parameter 2"}, StatusCase{"param3", -3, "Bad argument - parameter 3"},
        StatusCase{"param4", -4, "Bad argument - parameter 4"}, StatusCase{"param5", -5, "Bad argument - parameter 5"},
        StatusCase{"param6", -6, "Bad argument - parameter 6"}, StatusCase{"param7", -7, "Bad argument - parameter 7"},
        StatusCase{"memory", -10, "Out of memory"}, StatusCase{"notInited", -11, "Data has not been initialized"},
        StatusCase{"inited", -12, "Data has already been initialized"},
        StatusCase{"noSecure", -13, "Operation not available at requested security level"},
        StatusCase{"random", -14, "No reliable random data available"}, StatusCase{"failed", -15, "Operation failed"},
        StatusCase{"internal", -16, "Internal consistency check failed"},
        StatusCase{"notAvail", -20, "This type of operation not available"},
        StatusCase{"permission", -21, "No permission to perform this operation"},
        StatusCase{"wrongKey", -22, "Incorrect key used to decrypt data"},
        StatusCase{"incomplete", -23, "Operation incomplete/still in progress"},
        StatusCase{"complete", -24, "Operation complete/can't continue"},
        StatusCase{"timeout", -25, "Operation timed out before completion"},
        StatusCase{"invalid", -26, "Invalid/inconsistent information"},
        StatusCase{"signalled", -27, "Resource destroyed by external event"},
        StatusCase{"overflow", -30, "Resources/space exhausted"},
        StatusCase{"underflow", -31, "Not enough data available"},
        StatusCase{"badData", -32, "Bad/unrecognised data format"},
        StatusCase{"signature", -33, "Signature/integrity check failed"}, StatusCase{"open", -40, "Cannot open object"},
        StatusCase{"read", -41, "Cannot read item from object"},
        StatusCase{"write", -42, "Cannot write item to object"},
        StatusCase{"notFound", -43, "Requested item not found in object"},
        StatusCase{"duplicate", -44, "Item already present in object"},
        StatusCase{"envResource", -50, "Need resource to proceed"}),
    [](const auto& info) { return std::string(info.param.name); });

// The gaps between groups and codes beyond either end are not known codes.
INSTANTIATE_TEST_SUITE_P(StatusUnknownCodes, StatusText,
                         ::testing::Values(StatusCase{"minus8", -8, "Unknown error code: -8"},
                                           StatusCase{"minus9", -9, "Unknown error code: -9"},
                                           StatusCase{"minus17", -17, "Unknown error code: -17"},
                                           StatusCase{"minus28", -28, "Unknown error code: -28"},
                                           StatusCase{"minus34", -34, "Unknown error code: -34"},
                                           StatusCase{"minus45", -45, "Unknown error code: -45"},
                                           StatusCase{"minus49", -49, "Unknown error code: -49"},
                                           StatusCase{"minus51", -51, "Unknown error code: -51"},
                                           StatusCase{"minus998", -998, "Unknown error code: -998"},
                                           StatusCase{"plus5", 5, "Unknown error code: 5"}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
