#pragma once
// What the fuzz targets share: a property that fails stops the run with a message (libFuzzer then keeps the
// input as a crash), and a small generator that draws sizes and choices from the input's own bytes.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#define FUZZ_CHECK(condition, what)                                                                                    \
    do {                                                                                                               \
        if (!(condition)) {                                                                                            \
            std::fprintf(stderr, "property failed: %s (%s:%d)\n", what, __FILE__, __LINE__);                           \
            std::abort();                                                                                              \
        }                                                                                                              \
    } while (false)

namespace fuzz {

// Takes bytes off the front of the input for choices; what is left is the data itself.
class Choices {
public:
    Choices(const std::uint8_t* data, size_t size)
        : m_bytes(reinterpret_cast<const char*>(data), size)
    {
    }
    // A number from 0 to below bound, from the next byte (0 when none is left).
    size_t below(size_t bound)
    {
        if (m_bytes.empty() || bound == 0)
            return 0;
        const auto byte = static_cast<unsigned char>(m_bytes.front());
        m_bytes.remove_prefix(1);
        return byte % bound;
    }
    // Up to the next occurrence of separator (dropped), or everything left.
    std::string_view upTo(char separator)
    {
        const size_t at = m_bytes.find(separator);
        const std::string_view part = m_bytes.substr(0, at);
        m_bytes.remove_prefix(at == std::string_view::npos ? m_bytes.size() : at + 1);
        return part;
    }
    std::string_view rest() const { return m_bytes; }
    bool empty() const { return m_bytes.empty(); }

private:
    std::string_view m_bytes;
};

} // namespace fuzz
