// The clipboard text: the builder's UTF-8 against a reference layout and a
// hand-written UTF-8 encoder; inner cells end in a TAB at the same character
// column on every line, and the lines read back as the entries.

#include "fuzz/listinput.h"

#include "export/clipboard.h"
#include "export/paddedtext.h"

#include <QStringDecoder>

#include <algorithm>

namespace {

// UTF-8 of the code points, a lone surrogate written as "?" as the text file
// writes it.
QByteArray utf8(const std::u32string &text)
{
    QByteArray out;
    for (char32_t cp : text) {
        if (fuzz::isSurrogate(cp))
            cp = U'?';
        if (cp < 0x80) {
            out.append(char(cp));
        } else if (cp < 0x800) {
            out.append(char(0xC0 | (cp >> 6)));
            out.append(char(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.append(char(0xE0 | (cp >> 12)));
            out.append(char(0x80 | ((cp >> 6) & 0x3F)));
            out.append(char(0x80 | (cp & 0x3F)));
        } else {
            out.append(char(0xF0 | (cp >> 18)));
            out.append(char(0x80 | ((cp >> 12) & 0x3F)));
            out.append(char(0x80 | ((cp >> 6) & 0x3F)));
            out.append(char(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *bytes, std::size_t size)
{
    FuzzedDataProvider data(bytes, size);
    const fuzz::ListInput in = fuzz::takeList(data);
    const int columns = int(in.titles.size());

    // Widths over every entry, checked or not; the titles do not count.
    std::vector<qsizetype> widths(std::size_t(columns), 0);
    for (const QStringList &cells : in.rows) {
        for (int c = 0; c < columns; ++c)
            widths[std::size_t(c)] = std::max(widths[std::size_t(c)], fuzz::characters(cells.at(c)));
    }
    std::vector<std::u32string> expectedLines;
    for (std::size_t r = 0; r < in.rows.size(); ++r) {
        if (!in.checked[r])
            continue;
        std::u32string line;
        for (int c = 0; c < columns; ++c) {
            const QString &text = in.rows[r].at(c);
            line += fuzz::codePoints(text);
            if (c + 1 < columns) {
                line.append(std::size_t(widths[std::size_t(c)] - fuzz::characters(text)), U' ');
                line += U'\t';
            }
        }
        while (!line.empty() && line.back() == U' ')
            line.pop_back();
        expectedLines.push_back(line);
    }
    QByteArray expected;
    for (const std::u32string &line : expectedLines)
        expected += utf8(line) + "\r\n";

    const NumberListSnapshot snapshot = in.model->snapshot();
    FUZZ_EQUAL(PaddedColumnWidths(snapshot, false) == widths, true);
    const QByteArray actual = ClipboardTextUtf8(snapshot, PaddedColumnWidths(snapshot, false));
    FUZZ_EQUAL(actual, expected);
    QString expectedText;
    for (const std::u32string &line : expectedLines) {
        for (const char32_t cp : line) {
            if (fuzz::isSurrogate(cp)) {
                expectedText.append(u'?');
            } else if (cp >= 0x10000) {
                expectedText.append(QChar(QChar::highSurrogate(cp)));
                expectedText.append(QChar(QChar::lowSurrogate(cp)));
            } else {
                expectedText.append(QChar(char16_t(cp)));
            }
        }
        expectedText.append(QStringLiteral("\r\n"));
    }
    FUZZ_EQUAL(ClipboardText(snapshot), expectedText);

    // Read back: with no TAB or line break inside the texts, line i holds
    // entry i, its inner TABs at the columns the widths give, and the texts.
    const auto plain = [](const QString &t) {
        return !t.contains(u'\t') && !t.contains(u'\r') && !t.contains(u'\n');
    };
    bool allPlain = true;
    for (const QStringList &cells : in.rows)
        allPlain = allPlain && std::all_of(cells.begin(), cells.end(), plain);
    if (!allPlain)
        return 0;
    // Read as a pasting program reads it, a U+FEFF at the start included.
    QStringDecoder reader(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
    const std::u32string whole = fuzz::codePoints(QString(reader.decode(actual)));
    std::size_t at = 0, lineNumber = 0;
    for (std::size_t r = 0; r < in.rows.size(); ++r) {
        if (!in.checked[r])
            continue;
        const std::size_t end = whole.find(U"\r\n", at);
        FUZZ_CHECK(end != std::u32string::npos, "line " + std::to_string(lineNumber) + " has no line end");
        const std::u32string line = whole.substr(at, end - at);
        std::size_t cell = 0;
        for (int c = 0; c < columns; ++c) {
            std::u32string text = fuzz::codePoints(in.rows[r].at(c));
            for (char32_t &cp : text)
                cp = fuzz::isSurrogate(cp) ? U'?' : cp;
            if (c + 1 < columns) {
                const std::size_t tab = line.find(U'\t', cell);
                FUZZ_CHECK(qsizetype(tab - cell) == widths[std::size_t(c)],
                           "line " + std::to_string(lineNumber) + ", column " + std::to_string(c));
                FUZZ_CHECK(line.compare(cell, text.size(), text) == 0, "a cell differs from its entry");
                cell = tab + 1;
            } else {
                // The last cell loses trailing spaces and nothing else.
                std::u32string trimmed = text;
                while (!trimmed.empty() && trimmed.back() == U' ')
                    trimmed.pop_back();
                FUZZ_CHECK(line.substr(cell) == trimmed,
                           "the last cell differs from its entry, line " + std::to_string(lineNumber));
            }
        }
        at = end + 2;
        ++lineNumber;
    }
    FUZZ_CHECK(at == whole.size(), "text after the last line");
    return 0;
}
