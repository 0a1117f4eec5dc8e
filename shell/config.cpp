#include "shell/config.h"

#include "platform/files.h"

namespace shell {

static std::int32_t littleEndianAt(std::string_view bytes, size_t offset)
{
    std::uint32_t value = 0;
    for (size_t i = 0; i < 4; ++i) {
        std::uint32_t byte = offset + i < bytes.size() ? static_cast<unsigned char>(bytes[offset + i]) : 0;
        value |= byte << (8 * i);
    }
    return static_cast<std::int32_t>(value);
}

static void appendLittleEndian(std::string& out, std::int32_t value)
{
    auto bits = static_cast<std::uint32_t>(value);
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<char>((bits >> (8 * i)) & 0xFF));
}

ProgramConfig decodeConfig(std::string_view bytes)
{
    ProgramConfig config;
    config.expertMode = littleEndianAt(bytes, 0);
    config.defaultProfile = littleEndianAt(bytes, 4);
    config.trayMode = littleEndianAt(bytes, 8);
    return config;
}

std::string encodeConfig(const ProgramConfig& config)
{
    std::string bytes;
    appendLittleEndian(bytes, config.expertMode);
    appendLittleEndian(bytes, config.defaultProfile);
    appendLittleEndian(bytes, config.trayMode);
    return bytes;
}

ProgramConfig readConfig(const std::string& path)
{
    // Only the twelve bytes that mean something, and only from a regular file: a FIFO or a link to a device in its
    // place must not hold up the start.
    auto bytes = platform::readFileStart(path, 12);
    return bytes ? decodeConfig(*bytes) : ProgramConfig{};
}

bool writeConfig(const std::string& path, const ProgramConfig& config)
{
    return platform::writeFileAtomically(path, encodeConfig(config));
}

} // namespace shell
