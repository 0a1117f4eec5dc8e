#pragma once
// Conversion between Qt's text and the byte strings the program works with.

#include <QString>
#include <string>
#include <string_view>

namespace platform {

// Widget boundary: the locale's 8-bit encoding.
QString toWidgetText(const std::string& bytes);
std::string fromWidgetText(const QString& text);

// The character set a document's bytes are read in, by its canonical name ("UTF-8", "windows-1252",
// "windows-1251", "Shift_JIS", ...): the charset its <meta> declares when the program can also write that set,
// else UTF-8 when the bytes are valid UTF-8, else windows-1252.
std::string documentCharset(std::string_view html);

// Text in a document's own character set, named as a page declares it or as the browser reports it. A character
// the set can't hold is written as a numeric character reference, so it is kept; in windows-1252 and the other
// sets that leave some bytes 0x80 to 0x9F undefined, a browser reads such a byte as the control character of the
// same number, which goes back to that byte. An unknown set is written as UTF-8.
std::string encodeForCharset(const QString& text, const QString& charset);

// Bytes in a document's character set (as documentCharset names it) as text. A byte sequence the set doesn't
// define reads as a browser reads it: 0x80 to 0x9F as the control character of the same number, anything else as
// U+FFFD. An unknown set is read as UTF-8.
QString decodeFromCharset(std::string_view bytes, const std::string& charset);

} // namespace platform
