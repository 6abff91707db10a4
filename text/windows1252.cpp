#include "text/windows1252.h"

#include <array>
#include <cstring>

namespace Windows1252 {

namespace {

// Characters of the bytes 0x80 to 0x9F.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F, // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178, // 98-9F
};

// True for the bytes whose character differs from their Latin-1 reading.
constexpr bool differsFromLatin1(unsigned char b)
{
    return b >= 0x80 && b < 0xA0 && kHighControls[b - 0x80] != b;
}

constexpr std::array<bool, 256> makeDiffers()
{
    std::array<bool, 256> t{};
    for (int b = 0; b < 256; ++b)
        t[std::size_t(b)] = differsFromLatin1(static_cast<unsigned char>(b));
    return t;
}
constexpr std::array<bool, 256> kDiffers = makeDiffers();

const char kReplacement = '?';

} // namespace

char16_t toUnicode(unsigned char byte)
{
    return (byte >= 0x80 && byte < 0xA0) ? kHighControls[byte - 0x80] : char16_t(byte);
}

int fromUnicode(char32_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return int(c);
    for (std::size_t i = 0; i < kHighControls.size(); ++i) {
        if (kHighControls[i] == c)
            return int(0x80 + i);
    }
    return -1;
}

bool isLatin1Compatible(QByteArrayView bytes)
{
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.data());
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n; ++i) {
        if (kDiffers[p[i]])
            return false;
    }
    return true;
}

void decodeAppend(QByteArrayView bytes, QString &out)
{
    const qsizetype start = out.size();
    out.resize(start + bytes.size());
    char16_t *dst = reinterpret_cast<char16_t *>(out.data()) + start;
    const auto *src = reinterpret_cast<const unsigned char *>(bytes.data());
    for (qsizetype i = 0; i < bytes.size(); ++i)
        dst[i] = toUnicode(src[i]);
}

QString decode(QByteArrayView bytes)
{
    QString out;
    decodeAppend(bytes, out);
    return out;
}

void encodeAppend(QStringView text, QByteArray &out)
{
    out.reserve(out.size() + text.size());
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = text[i].unicode();
        if (c < 0x80) {
            out.append(char(c));
            continue;
        }
        if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(text[i + 1].unicode())) {
            ++i; // one character outside the code page, one replacement
            out.append(kReplacement);
            continue;
        }
        const int b = fromUnicode(c);
        out.append(b < 0 ? kReplacement : char(b));
    }
}

void encodeTo(QLatin1StringView text, char *out)
{
    const qsizetype n = text.size();
    if (n > 0) // an empty view may have no data at all
        std::memcpy(out, text.data(), std::size_t(n));
    // Latin-1 characters U+0080..U+009F: only the five unassigned ones exist.
    for (qsizetype i = 0; i < n; ++i) {
        if (kDiffers[static_cast<unsigned char>(out[i])])
            out[i] = kReplacement;
    }
}

void encodeAppend(QLatin1StringView text, QByteArray &out)
{
    const qsizetype start = out.size();
    out.resize(start + text.size());
    encodeTo(text, out.data() + start);
}

QByteArray encode(QStringView text)
{
    QByteArray out;
    encodeAppend(text, out);
    return out;
}

QByteArray encode(QLatin1StringView text)
{
    QByteArray out;
    encodeAppend(text, out);
    return out;
}

} // namespace Windows1252
