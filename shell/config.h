#pragma once
// The three settings kept between runs in "Quillobrand.cfg": exactly 12 bytes, three signed 32-bit
// little-endian integers in the order expertMode, defaultProfile, trayMode.

#include <cstdint>
#include <string>
#include <string_view>

namespace shell {

struct ProgramConfig {
    std::int32_t expertMode = 0; // 0: main-window tool tips shown; anything else: off
    std::int32_t defaultProfile = 0; // position of the default sender profile; -1 for none
    std::int32_t trayMode = 0; // 0 Always to the tray, 1 Never, 2 Ask; others: the next close asks
};

inline constexpr const char* configFileName = "Quillobrand.cfg";

// Reads the values from whatever bytes there are: bytes past the end count as 0, bytes after the twelfth are
// ignored.
ProgramConfig decodeConfig(std::string_view bytes);
// The 12 bytes of the file.
std::string encodeConfig(const ProgramConfig& config);

// All zeros when the file is missing or can't be read.
ProgramConfig readConfig(const std::string& path);
// Replaces the file atomically with the 12 bytes; false when it can't be written (the old file stays).
bool writeConfig(const std::string& path, const ProgramConfig& config);

} // namespace shell
