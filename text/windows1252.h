#pragma once

// The 8-bit code page used for text files: Windows-1252, with its five
// unassigned bytes (0x81, 0x8D, 0x8F, 0x90, 0x9D) mapped to the control
// characters of the same number, so that every byte decodes and every decoded
// text encodes back to the same bytes.

#include <QByteArray>
#include <QByteArrayView>
#include <QLatin1StringView>
#include <QString>
#include <QStringView>

namespace Windows1252 {

// The character a byte stands for.
char16_t toUnicode(unsigned char byte);

// The byte for a character, or -1 when the code page has none.
int fromUnicode(char32_t character);

// True when the bytes mean the same characters read as Latin-1, i.e. they hold
// no byte 0x80-0x9F other than the five unassigned ones.
bool isLatin1Compatible(QByteArrayView bytes);

// Appends the characters of the bytes to `out`.
void decodeAppend(QByteArrayView bytes, QString &out);
QString decode(QByteArrayView bytes);

// Appends the bytes of the text to `out`; a character outside the code page
// becomes one "?" (a surrogate pair counts as one character).
void encodeAppend(QStringView text, QByteArray &out);
void encodeAppend(QLatin1StringView text, QByteArray &out);
// Writes the text.size() bytes of a Latin-1 text to `out`, which has room.
void encodeTo(QLatin1StringView text, char *out);
QByteArray encode(QStringView text);
QByteArray encode(QLatin1StringView text);

} // namespace Windows1252
