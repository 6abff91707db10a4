#pragma once

#include "app/list/numberlistmodel.h"
#include "text/charactercount.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <vector>

// Entries handled between two calls of a yield function: often enough for a
// time-sliced yield, rare enough to cost nothing per entry.
inline constexpr qsizetype kPaddedTextYieldStride = 1024;

// Column widths of the padded layouts, in characters (see CharacterCount): the
// longest text of each column over all entries, checked or not, and of the
// column's title when withTitles is set. Calls yield every few thousand
// entries so that a long pass keeps the window responsive.
std::vector<qsizetype> PaddedColumnWidths(const NumberListSnapshot &list, bool withTitles,
                                          const std::function<void()> &yield = {});

// The lines of the padded text file in Windows-1252 bytes: every cell is its
// text, spaces up to the column's width and a TAB; every line ends in CR LF.
class PaddedTextLines
{
public:
    PaddedTextLines(const NumberListSnapshot &list, std::vector<qsizetype> widths);

    void appendHeaderLine(QByteArray &out) const;
    // Appends nothing for an unchecked entry.
    void appendEntryLine(QByteArray &out, qsizetype row) const;
    // The lines of entries [from, to), the same bytes as appendEntryLine of
    // each.
    void appendEntryLines(QByteArray &out, qsizetype from, qsizetype to) const;
    // One column whose lines take at most 32 bytes for texts no longer than
    // its width: appendEntryLines writes those a stride at a time.
    bool linesAreShort() const;
    // The size of the header line and all entry lines in bytes.
    qint64 byteSize() const;

private:
    // Encodes the text, pads it to the width and closes it with a TAB.
    static void appendCell(QByteArray &out, QStringView text, qsizetype width);
    static void appendCell(QByteArray &out, QLatin1StringView text, qsizetype width);

    const NumberListSnapshot &m_list;
    std::vector<qsizetype> m_widths;
};

// The whole padded text file of a list, header line first.
QByteArray PaddedTextBytes(const NumberListSnapshot &list);
