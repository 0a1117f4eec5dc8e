#include "platform/textcodec.h"

namespace platform {

QString toWidgetText(const std::string& bytes)
{
    return QString::fromLocal8Bit(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::string fromWidgetText(const QString& text)
{
    return text.toLocal8Bit().toStdString();
}

// Code points of windows-1252 bytes 0x80 to 0x9F; 0 marks the five unassigned bytes.
static const char16_t windows1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

static char windows1252Byte(char16_t unit)
{
    if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF))
        return static_cast<char>(unit);
    for (int i = 0; i < 32; ++i) {
        if (windows1252High[i] != 0 && windows1252High[i] == unit)
            return static_cast<char>(0x80 + i);
    }
    return '?';
}

std::string encodeForCharset(const QString& text, const QString& charset)
{
    const QString name = charset.trimmed().toLower();
    // Browsers read every Latin-1 label as windows-1252, so both are written with its table.
    if (name == "windows-1252" || name == "iso-8859-1" || name == "us-ascii" || name == "latin1" || name == "cp1252") {
        std::string bytes;
        bytes.reserve(static_cast<size_t>(text.size()));
        for (qsizetype i = 0; i < text.size(); ++i) {
            const QChar c = text.at(i);
            if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
                ++i; // one unencodable character, not two
            bytes.push_back(c.isSurrogate() ? '?' : windows1252Byte(c.unicode()));
        }
        return bytes;
    }
    return text.toUtf8().toStdString();
}

} // namespace platform
