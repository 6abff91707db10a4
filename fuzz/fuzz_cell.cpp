// The workbook's cell text: what a spreadsheet reads back from the cell (the
// UTF-8 decoded, each "_xHHHH_" turned into its character) equals the entry,
// "=" left out where asked; a cell holds at most 32,767 characters of the
// text itself, however many of them are escaped, and only a longer text is
// cut, at a character boundary.

#include "fuzz/fuzzsupport.h"

#include "export/xlsxworkbook.h"

#include <optional>

namespace {

constexpr qsizetype kCellLimit = 32767; // UTF-16 units, as the spreadsheet counts

// Strict UTF-8 decoding; nothing for malformed bytes.
std::optional<std::u32string> decodeUtf8(const std::string &bytes)
{
    std::u32string out;
    for (std::size_t i = 0; i < bytes.size();) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        int extra = 0;
        char32_t cp = 0, least = 0;
        if (b < 0x80) {
            cp = b;
        } else if ((b & 0xE0) == 0xC0) {
            extra = 1, cp = b & 0x1F, least = 0x80;
        } else if ((b & 0xF0) == 0xE0) {
            extra = 2, cp = b & 0x0F, least = 0x800;
        } else if ((b & 0xF8) == 0xF0) {
            extra = 3, cp = b & 0x07, least = 0x10000;
        } else {
            return std::nullopt;
        }
        if (i + std::size_t(extra) >= bytes.size())
            return std::nullopt; // cut off inside a character
        for (int k = 1; k <= extra; ++k) {
            const auto c = static_cast<unsigned char>(bytes[i + std::size_t(k)]);
            if ((c & 0xC0) != 0x80)
                return std::nullopt;
            cp = (cp << 6) | (c & 0x3F);
        }
        if (cp < least || cp > 0x10FFFF || fuzz::isSurrogate(cp))
            return std::nullopt;
        out.push_back(cp);
        i += std::size_t(extra) + 1;
    }
    return out;
}

bool hex(char32_t c)
{
    return (c >= U'0' && c <= U'9') || (c >= U'a' && c <= U'f') || (c >= U'A' && c <= U'F');
}

// A spreadsheet's reading of a cell's text: every "_xHHHH_", left to right,
// is the character HHHH.
std::u32string unescape(const std::u32string &cell)
{
    std::u32string out;
    for (std::size_t i = 0; i < cell.size();) {
        if (cell[i] == U'_' && i + 7 <= cell.size() && cell[i + 1] == U'x' && cell[i + 6] == U'_'
            && hex(cell[i + 2]) && hex(cell[i + 3]) && hex(cell[i + 4]) && hex(cell[i + 5])) {
            const std::string digits(cell.begin() + std::ptrdiff_t(i) + 2,
                                     cell.begin() + std::ptrdiff_t(i) + 6);
            out.push_back(char32_t(std::stoul(digits, nullptr, 16)));
            i += 7;
        } else {
            out.push_back(cell[i++]);
        }
    }
    return out;
}

// Characters an XML document may hold as they are; CR too would be read
// back as LF.
bool xmlCarries(char32_t cp)
{
    return cp == U'\t' || cp == U'\n' || (cp >= 0x20 && cp < 0xD800) || (cp >= 0xE000 && cp <= 0xFFFD)
        || cp >= 0x10000;
}

std::string show(const std::u32string &text)
{
    std::string out = std::to_string(text.size()) + " characters: ";
    for (std::size_t i = 0; i < text.size() && i < 200; ++i) {
        char buffer[16];
        if (text[i] >= 0x20 && text[i] < 0x7F)
            out.push_back(char(text[i]));
        else
            out += (std::snprintf(buffer, sizeof buffer, "\\u{%X}", unsigned(text[i])), buffer);
    }
    return out;
}

void check(const QString &text, bool latin1, bool removeEquals)
{
    // What the cell should hold: the text without "=" where asked, a lone
    // surrogate as U+FFFD, as many whole characters as fit.
    std::u32string wanted;
    for (char32_t cp : fuzz::codePoints(text)) {
        if (removeEquals && cp == U'=')
            continue;
        wanted.push_back(fuzz::isSurrogate(cp) ? 0xFFFD : cp);
    }
    std::u32string fits;
    qsizetype units = 0;
    for (const char32_t cp : wanted) {
        units += cp >= 0x10000 ? 2 : 1;
        if (units > kCellLimit)
            break;
        fits.push_back(cp);
    }

    std::string cell = "before";
    const QByteArray latin1Bytes = text.toLatin1();
    const CellTextResult result = latin1 ? appendCellText(cell, QLatin1StringView(latin1Bytes), removeEquals)
                                         : appendCellText(cell, QStringView(text), removeEquals);
    FUZZ_CHECK(cell.compare(0, 6, "before") == 0, "appendCellText changed what was there");
    const std::optional<std::u32string> decoded = decodeUtf8(cell.substr(6));
    FUZZ_CHECK(decoded.has_value(), "the cell text is not UTF-8");
    for (const char32_t cp : *decoded)
        FUZZ_CHECK(xmlCarries(cp), "the cell holds U+" + std::to_string(unsigned(cp)) + " unescaped");
    const std::u32string readBack = unescape(*decoded);
    if (readBack != fits)
        fuzz::fail("the cell reads back differently", __FILE__, __LINE__,
                   "read back: " + show(readBack) + "\nexpected:  " + show(fits));
    FUZZ_CHECK(result.cut == (fits.size() < wanted.size()),
               "cut " + fuzz::show(result.cut) + " for " + std::to_string(wanted.size()) + " characters");
    FUZZ_CHECK(result.shownChars == qsizetype(fits.size()),
               "shownChars " + std::to_string(result.shownChars) + ", expected "
                   + std::to_string(fits.size()));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *bytes, std::size_t size)
{
    FuzzedDataProvider data(bytes, size);
    const bool latin1 = data.ConsumeBool();
    const bool removeEquals = data.ConsumeBool();
    // Either the text itself, or a text repeated to around a cell's limit.
    const bool nearLimit = data.ConsumeBool();
    const int overLimit = data.ConsumeIntegralInRange<int>(-40, 40);
    QString text = fuzz::takeText(data, 256, latin1);
    if (nearLimit && !text.isEmpty()) {
        const qsizetype length = kCellLimit + overLimit;
        QString repeated;
        repeated.reserve(length);
        while (repeated.size() < length)
            repeated += text;
        repeated.truncate(length); // may split a surrogate pair: a lone one is a text too
        text = repeated;
    }
    check(text, latin1, removeEquals);
    return 0;
}
