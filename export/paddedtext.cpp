#include "export/paddedtext.h"

#include "text/windows1252.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

std::vector<qsizetype> PaddedColumnWidths(const NumberListSnapshot &list, bool withTitles,
                                          const std::function<void()> &yield)
{
    std::vector<qsizetype> widths;
    const qsizetype count = list.count();
    for (int c = 0; c < list.columnCount(); ++c) {
        qsizetype w = withTitles ? CharacterCount(list.columnTitle(c)) : 0;
        for (qsizetype row = 0; row < count; row += kPaddedTextYieldStride) {
            if (yield)
                yield();
            const qsizetype end = std::min(count, row + kPaddedTextYieldStride);
            if (c == 0) {
                // The entries' own texts: most lengths are in their records.
                w = std::max(w, list.longestText(row, end));
                continue;
            }
            for (qsizetype r = row; r < end; ++r)
                w = std::max(w, CharacterCount(list.cellText(r, c)));
        }
        widths.push_back(w);
    }
    return widths;
}

PaddedTextLines::PaddedTextLines(const NumberListSnapshot &list, std::vector<qsizetype> widths)
    : m_list(list), m_widths(std::move(widths))
{
}

namespace {

// Makes room for n more bytes at the end of out and returns where they start.
char *grow(QByteArray &out, qsizetype n)
{
    const qsizetype start = out.size();
    out.resize(start + n);
    return out.data() + start;
}

char *pad(char *p, qsizetype length, qsizetype width)
{
    if (width > length) {
        std::memset(p, ' ', std::size_t(width - length));
        p += width - length;
    }
    *p++ = '\t';
    return p;
}

} // namespace

void PaddedTextLines::appendCell(QByteArray &out, QStringView text, qsizetype width)
{
    Windows1252::encodeAppend(text, out);
    const qsizetype length = CharacterCount(text);
    pad(grow(out, std::max(width - length, qsizetype(0)) + 1), length, width);
}

void PaddedTextLines::appendCell(QByteArray &out, QLatin1StringView text, qsizetype width)
{
    // The common case of the lists: one growth of the buffer for the cell.
    char *p = grow(out, std::max(width, text.size()) + 1);
    Windows1252::encodeTo(text, p);
    pad(p + text.size(), text.size(), width);
}

void PaddedTextLines::appendHeaderLine(QByteArray &out) const
{
    for (int c = 0; c < m_list.columnCount(); ++c)
        appendCell(out, m_list.columnTitle(c), m_widths.at(std::size_t(c)));
    std::memcpy(grow(out, 2), "\r\n", 2);
}

void PaddedTextLines::appendEntryLine(QByteArray &out, qsizetype row) const
{
    if (!m_list.checked(row))
        return;
    for (int c = 0; c < m_list.columnCount(); ++c) {
        const qsizetype width = m_widths.at(std::size_t(c));
        if (c == 0)
            m_list.text(row).visit([&](auto text) { appendCell(out, text, width); });
        else
            appendCell(out, m_list.cellText(row, c), width);
    }
    std::memcpy(grow(out, 2), "\r\n", 2);
}

namespace {
// The longest line written with two 16-byte stores: a text of up to 16 bytes
// padded to the width, then TAB CR LF.
constexpr qsizetype kShortLine = 32;
} // namespace

bool PaddedTextLines::linesAreShort() const
{
    return m_list.columnCount() == 1 && m_widths.size() == 1 && m_widths[0] + 3 <= kShortLine;
}

void PaddedTextLines::appendEntryLines(QByteArray &out, qsizetype from, qsizetype to) const
{
#if defined(__SSE2__)
    if (linesAreShort() && from < to) {
        // A line is its text over a row of spaces that ends in TAB CR LF:
        // two 16-byte stores for an ASCII text of up to 16 bytes. Any other
        // text takes the general path.
        const qsizetype width = m_widths[0];
        const qsizetype lineBytes = width + 3;
        alignas(16) char blank[kShortLine];
        std::memset(blank, ' ', sizeof blank);
        std::memcpy(blank + width, "\t\r\n", 3);
        const __m128i blankHead = _mm_load_si128(reinterpret_cast<const __m128i *>(blank));
        const __m128i blankTail = _mm_load_si128(reinterpret_cast<const __m128i *>(blank + 16));
        const __m128i positions = _mm_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);

        qsizetype used = out.size();
        // Room for every line, and for the last one's full stores.
        out.resize(used + (to - from) * lineBytes + kShortLine);
        for (qsizetype row = from; row < to; ++row) {
            if (!m_list.checked(row))
                continue;
            const EntryText text = m_list.text(row);
            const qsizetype length = text.bytes;
            if (!text.wide && length <= 16 && length <= width) {
                static_assert(EntryText::kReadAhead >= 16);
                const __m128i bytes = length > 0
                    ? _mm_loadu_si128(reinterpret_cast<const __m128i *>(text.data))
                    : _mm_setzero_si128();
                const __m128i inText = _mm_cmplt_epi8(positions, _mm_set1_epi8(char(length)));
                const __m128i chars = _mm_and_si128(bytes, inText);
                // ASCII is the same in Windows-1252; other bytes may not be.
                if (_mm_movemask_epi8(chars) == 0) {
                    char *p = out.data() + used;
                    _mm_storeu_si128(reinterpret_cast<__m128i *>(p),
                                     _mm_or_si128(chars, _mm_andnot_si128(inText, blankHead)));
                    _mm_storeu_si128(reinterpret_cast<__m128i *>(p + 16), blankTail);
                    used += lineBytes;
                    continue;
                }
            }
            out.resize(used);
            appendEntryLine(out, row);
            used = out.size();
            out.resize(used + (to - row - 1) * lineBytes + kShortLine);
        }
        out.resize(used);
        return;
    }
#endif
    for (qsizetype row = from; row < to; ++row)
        appendEntryLine(out, row);
}

qint64 PaddedTextLines::byteSize() const
{
    // Every character is one byte in the file.
    const auto cellBytes = [](qsizetype length, qsizetype width) {
        return qint64(std::max(length, width)) + 1;
    };
    qint64 size = 2;
    for (int c = 0; c < m_list.columnCount(); ++c)
        size += cellBytes(CharacterCount(m_list.columnTitle(c)), m_widths.at(std::size_t(c)));
    for (qsizetype row = 0; row < m_list.count(); ++row) {
        if (!m_list.checked(row))
            continue;
        size += 2;
        for (int c = 0; c < m_list.columnCount(); ++c) {
            const qsizetype length = c == 0
                ? m_list.text(row).visit([](auto text) { return CharacterCount(text); })
                : CharacterCount(m_list.cellText(row, c));
            size += cellBytes(length, m_widths.at(std::size_t(c)));
        }
    }
    return size;
}

QByteArray PaddedTextBytes(const NumberListSnapshot &list)
{
    const PaddedTextLines lines(list, PaddedColumnWidths(list, true));
    QByteArray out;
    lines.appendHeaderLine(out);
    for (qsizetype row = 0; row < list.count(); ++row)
        lines.appendEntryLine(out, row);
    return out;
}
