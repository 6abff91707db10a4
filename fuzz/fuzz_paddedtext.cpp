// The padded text file: the bytes of the builder, whole and in the strides
// the save writes, against a reference layout; every line has its TABs at
// the same character columns, and the bytes decode back to the entries.

#include "fuzz/listinput.h"

#include "export/paddedtext.h"

#include <algorithm>

namespace {

QByteArray encode(const QString &text)
{
    QByteArray out;
    for (const char32_t cp : fuzz::codePoints(text))
        out.append(fuzz::isSurrogate(cp) ? '?' : fuzz::codePage().encode(cp));
    return out;
}

// A text as the file shows it: what its bytes read back as.
QString asWritten(const QString &text)
{
    return fuzz::codePage().decode(encode(text));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *bytes, std::size_t size)
{
    FuzzedDataProvider data(bytes, size);
    const fuzz::ListInput in = fuzz::takeList(data);
    const int columns = int(in.titles.size());

    // Widths over the titles and every entry, checked or not.
    std::vector<qsizetype> widths;
    for (int c = 0; c < columns; ++c) {
        qsizetype w = fuzz::characters(in.titles.at(c));
        for (const QStringList &cells : in.rows)
            w = std::max(w, fuzz::characters(cells.at(c)));
        widths.push_back(w);
    }
    const auto line = [&](const QStringList &cells) {
        QByteArray out;
        for (int c = 0; c < columns; ++c) {
            out += encode(cells.at(c));
            out += QByteArray(widths[std::size_t(c)] - fuzz::characters(cells.at(c)), ' ');
            out += '\t';
        }
        return out + "\r\n";
    };
    QByteArray expected = line(in.titles);
    for (std::size_t r = 0; r < in.rows.size(); ++r) {
        if (in.checked[r])
            expected += line(in.rows[r]);
    }

    const NumberListSnapshot snapshot = in.model->snapshot();
    const QByteArray actual = PaddedTextBytes(snapshot);
    FUZZ_EQUAL(actual, expected);

    // The save's way: the header, then the entries a stride at a time.
    const PaddedTextLines lines(snapshot, PaddedColumnWidths(snapshot, true));
    QByteArray saved;
    lines.appendHeaderLine(saved);
    for (qsizetype row = 0; row < snapshot.count();) {
        const qsizetype to = std::min(snapshot.count(), row + data.ConsumeIntegralInRange<qsizetype>(1, 70));
        lines.appendEntryLines(saved, row, to);
        row = to;
    }
    FUZZ_EQUAL(saved, expected);

    // Read back as a file: texts without TAB or line break give one line per
    // written entry, each TAB at the column its width puts it, each cell the
    // entry's text and then spaces.
    const auto plain = [](const QString &t) {
        return !t.contains(u'\t') && !t.contains(u'\r') && !t.contains(u'\n');
    };
    bool allPlain = std::all_of(in.titles.begin(), in.titles.end(), plain);
    for (const QStringList &cells : in.rows)
        allPlain = allPlain && std::all_of(cells.begin(), cells.end(), plain);
    if (!allPlain)
        return 0;
    QList<QByteArray> fileLines = actual.split('\n');
    FUZZ_CHECK(fileLines.takeLast().isEmpty(), "the file does not end with a line end");
    std::vector<QStringList> written{in.titles};
    for (std::size_t r = 0; r < in.rows.size(); ++r) {
        if (in.checked[r])
            written.push_back(in.rows[r]);
    }
    FUZZ_CHECK(std::size_t(fileLines.size()) == written.size(), fuzz::show(actual));
    for (qsizetype i = 0; i < fileLines.size(); ++i) {
        FUZZ_CHECK(fileLines[i].endsWith('\r'), "a line without CR LF");
        const QString shown = fuzz::codePage().decode(fileLines[i].chopped(1));
        qsizetype at = 0;
        for (int c = 0; c < columns; ++c) {
            const qsizetype tab = shown.indexOf(u'\t', at);
            // Characters of the file's own text: one byte each.
            FUZZ_CHECK(tab - at == widths[std::size_t(c)],
                       "line " + std::to_string(i) + ": " + fuzz::show(shown));
            const QString cell = shown.mid(at, tab - at);
            const QString text = asWritten(written[std::size_t(i)].at(c));
            FUZZ_EQUAL(cell.left(text.size()), text);
            FUZZ_CHECK(cell.mid(text.size()).count(u' ') == cell.size() - text.size(), fuzz::show(cell));
            at = tab + 1;
        }
        FUZZ_CHECK(at == shown.size(), "text after the last TAB: " + fuzz::show(shown));
    }
    return 0;
}
