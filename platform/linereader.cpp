#include "platform/linereader.h"

#include <algorithm>
#include <cstring>

namespace platform {

LineReader::LineReader(const std::string& path, bool nulEndsLine)
    : m_file(std::fopen(path.c_str(), "rbe"))
    , m_nulEndsLine(nulEndsLine)
{
}

LineReader::~LineReader()
{
    if (m_file)
        std::fclose(m_file);
}

bool LineReader::fill()
{
    if (m_position < m_filled)
        return true;
    if (!m_file)
        return false;
    m_position = 0;
    m_filled = std::fread(m_buffer, 1, sizeof m_buffer, m_file);
    return m_filled > 0;
}

int LineReader::nextByte()
{
    if (!fill())
        return EOF;
    return static_cast<unsigned char>(m_buffer[m_position++]);
}

int LineReader::peekByte()
{
    if (!fill())
        return EOF;
    return static_cast<unsigned char>(m_buffer[m_position]);
}

bool LineReader::atEnd()
{
    return !fill();
}

std::string LineReader::readLine()
{
    std::string line;
    while (!readPiece(line, std::string::npos)) { }
    return line;
}

bool LineReader::readPiece(std::string& piece, size_t maxBytes)
{
    while (fill()) {
        // Copy the run of ordinary bytes up to the next line end in one go: pages have lines of megabytes.
        const char* start = m_buffer + m_position;
        const size_t available = m_filled - m_position;
        const size_t room = maxBytes - std::min(maxBytes, piece.size());
        size_t length = 0;
        while (length < available && length < room) {
            const char c = start[length];
            if (c == '\n' || c == '\r' || (c == '\0' && m_nulEndsLine))
                break;
            ++length;
        }
        if (maxBytes != std::string::npos && piece.size() + length > piece.capacity()) {
            // Grown as usual, but never past maxBytes: a piece of a long line must not take twice its size. A
            // string of its own, since reserve on a grown one may round up to double.
            std::string grown;
            grown.reserve(std::min(maxBytes, std::max(piece.size() * 2, piece.size() + length)));
            grown.append(piece);
            piece.swap(grown);
        }
        piece.append(start, length);
        m_position += length;
        if (length == room && length < available)
            return false; // the piece is full and the line goes on
        if (length == available) {
            if (length == room && !fill())
                return true;
            if (length == room)
                return isLineEndNext() ? (skipLineEnd(), true) : false;
            continue;
        }
        skipLineEnd();
        return true;
    }
    return true;
}

bool LineReader::isLineEndNext()
{
    const int c = peekByte();
    return c == '\n' || c == '\r' || (c == '\0' && m_nulEndsLine);
}

void LineReader::skipLineEnd()
{
    const int end = nextByte();
    if (end == '\r' && peekByte() == '\n')
        ++m_position;
}

std::int32_t LineReader::readInt32()
{
    unsigned char bytes[4];
    for (unsigned char& byte : bytes) {
        const int c = nextByte();
        if (c == EOF)
            return 0;
        byte = static_cast<unsigned char>(c);
    }
    const std::uint32_t value = bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (std::uint32_t(bytes[3]) << 24);
    return static_cast<std::int32_t>(value);
}

} // namespace platform
