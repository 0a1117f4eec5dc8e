#pragma once
// Conversion between Qt's text and the byte strings the program works with.

#include <QString>
#include <string>

namespace platform {

// Widget boundary: the locale's 8-bit encoding.
QString toWidgetText(const std::string& bytes);
std::string fromWidgetText(const QString& text);

// Bytes of text in a document's own character set, as a page declares it ("UTF-8", "windows-1252",
// "ISO-8859-1", ...). Sets other than the Latin single-byte ones are written as UTF-8; characters the set can't
// hold become "?".
std::string encodeForCharset(const QString& text, const QString& charset);

} // namespace platform
