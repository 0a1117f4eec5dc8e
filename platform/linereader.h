#pragma once
// Reads a file line by line without holding more than the current line: a line ends at CR LF, a lone CR or a
// lone LF, so files written on any system read alike.

#include <cstdint>
#include <cstdio>
#include <string>

namespace platform {

class LineReader {
public:
    // nulEndsLine: a zero byte ends a line too (the category file allows it).
    explicit LineReader(const std::string& path, bool nulEndsLine = false);
    ~LineReader();
    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;

    bool isOpen() const { return m_file != nullptr; }
    // True when every byte has been read.
    bool atEnd();
    // The next line without its line end; an empty line at the end of the file.
    std::string readLine();
    // Appends the next bytes of the current line to piece, up to maxBytes in piece; true when the line ended
    // (its line end is then used up), false when piece is full and the line goes on. A line longer than any
    // buffer is read this way without being held whole.
    bool readPiece(std::string& piece, size_t maxBytes);
    // Exactly four bytes as a signed little-endian integer; 0 when fewer are left (those are used up).
    std::int32_t readInt32();

private:
    bool fill();
    int nextByte();
    int peekByte();
    bool isLineEndNext();
    void skipLineEnd();

    std::FILE* m_file = nullptr;
    bool m_nulEndsLine;
    char m_buffer[65536];
    size_t m_position = 0;
    size_t m_filled = 0;
};

} // namespace platform
