#pragma once

// Shared pieces of the fuzz targets: a check that stops the run with a
// readable message, texts made from fuzzer bytes, and reference codecs that
// owe nothing to the program's own (glibc's iconv for Windows-1252, a
// hand-written UTF-8 encoder).

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <fuzzer/FuzzedDataProvider.h>
#include <iconv.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace fuzz {

// Shows a text with everything outside printable ASCII as \uXXXX.
inline std::string show(QStringView text)
{
    std::string out;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u >= 0x20 && u < 0x7F && u != u'\\') {
            out.push_back(char(u));
        } else {
            char buffer[8];
            std::snprintf(buffer, sizeof buffer, "\\u%04X", unsigned(u));
            out += buffer;
        }
    }
    return out;
}

inline std::string show(const QByteArray &bytes)
{
    std::string out;
    for (const char b : bytes) {
        const auto u = static_cast<unsigned char>(b);
        if (u >= 0x20 && u < 0x7F && u != '\\') {
            out.push_back(char(u));
        } else {
            char buffer[8];
            std::snprintf(buffer, sizeof buffer, "\\x%02X", unsigned(u));
            out += buffer;
        }
    }
    return out;
}

[[noreturn]] inline void fail(const char *what, const char *file, int line, const std::string &detail)
{
    std::fprintf(stderr, "MISMATCH at %s:%d: %s\n%s\n", file, line, what, detail.c_str());
    std::fflush(stderr);
    std::abort(); // libFuzzer keeps the input that got here
}

// A difference from the reference ends the run and keeps the input.
#define FUZZ_CHECK(condition, detail) \
    do { \
        if (!(condition)) \
            ::fuzz::fail(#condition, __FILE__, __LINE__, (detail)); \
    } while (0)

#define FUZZ_EQUAL(actual, expected) \
    do { \
        const auto &fuzzActual = (actual); \
        const auto &fuzzExpected = (expected); \
        if (!(fuzzActual == fuzzExpected)) \
            ::fuzz::fail(#actual " == " #expected, __FILE__, __LINE__, \
                         "actual:   " + ::fuzz::show(fuzzActual) \
                             + "\nexpected: " + ::fuzz::show(fuzzExpected)); \
    } while (0)

inline std::string show(qsizetype n)
{
    return std::to_string(n);
}
inline std::string show(bool b)
{
    return b ? "true" : "false";
}

// A text of any UTF-16 code units, lone surrogates included, or (when
// `latin1`) of the characters U+0000..U+00FF only.
inline QString takeText(FuzzedDataProvider &data, std::size_t maxUnits, bool latin1)
{
    QString text;
    const std::size_t n = data.ConsumeIntegralInRange<std::size_t>(0, maxUnits);
    for (std::size_t i = 0; i < n && data.remaining_bytes() > 0; ++i) {
        if (latin1)
            text.append(QChar(data.ConsumeIntegral<unsigned char>()));
        else
            text.append(QChar(data.ConsumeIntegral<char16_t>()));
    }
    return text;
}

// Windows-1252 as glibc's iconv knows it, with the five bytes it leaves
// undefined standing for the control character of the same number.
class ReferenceCodePage
{
public:
    ReferenceCodePage()
    {
        iconv_t cd = iconv_open("UTF-16LE", "CP1252");
        if (cd == iconv_t(-1))
            fail("iconv_open(\"UTF-16LE\", \"CP1252\")", __FILE__, __LINE__, "no CP1252 in iconv");
        for (int b = 0; b < 256; ++b) {
            char in = char(b);
            unsigned char out[4] = {};
            char *inp = &in;
            char *outp = reinterpret_cast<char *>(out);
            std::size_t inLeft = 1, outLeft = sizeof out;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
            const std::size_t r = iconv(cd, &inp, &inLeft, &outp, &outLeft);
            if (r == std::size_t(-1) || outLeft != 2) {
                m_undefined[std::size_t(b)] = true;
                m_chars[std::size_t(b)] = char16_t(b);
            } else {
                m_chars[std::size_t(b)] = char16_t(out[0] | (out[1] << 8));
            }
        }
        iconv_close(cd);
    }

    char16_t decode(unsigned char b) const { return m_chars[b]; }
    bool undefinedInIconv(unsigned char b) const { return m_undefined[b]; }

    QString decode(const QByteArray &bytes) const
    {
        QString out;
        for (const char b : bytes)
            out.append(QChar(decode(static_cast<unsigned char>(b))));
        return out;
    }

    // The byte of a code point, or '?' when the code page has none.
    char encode(char32_t cp) const
    {
        for (int b = 0; b < 256; ++b) {
            if (m_chars[std::size_t(b)] == cp)
                return char(b);
        }
        return '?';
    }

private:
    std::array<char16_t, 256> m_chars{};
    std::array<bool, 256> m_undefined{};
};

inline const ReferenceCodePage &codePage()
{
    static const ReferenceCodePage page;
    return page;
}

// The code points of a text: a surrogate pair is one, a lone surrogate is
// kept as the unit it is.
inline std::u32string codePoints(QStringView text)
{
    std::u32string out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text[i].unicode();
        if (u >= 0xD800 && u < 0xDC00 && i + 1 < text.size() && text[i + 1].unicode() >= 0xDC00
            && text[i + 1].unicode() < 0xE000) {
            out.push_back(0x10000 + ((char32_t(u) - 0xD800) << 10) + (text[i + 1].unicode() - 0xDC00));
            ++i;
        } else {
            out.push_back(u);
        }
    }
    return out;
}

inline bool isSurrogate(char32_t cp)
{
    return cp >= 0xD800 && cp < 0xE000;
}

} // namespace fuzz
