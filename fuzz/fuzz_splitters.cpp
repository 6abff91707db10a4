// The two ways typed or pasted text becomes entries: the prompt's answer cut
// at commas and trimmed of spaces, and pasted text cut into lines, against
// references that walk the text character by character.

#include "fuzz/fuzzsupport.h"

#include "app/list/numberlistmodel.h"
#include "input/textimport.h"

#include <QList>

namespace {

std::string show(const QList<QString> &entries)
{
    std::string out = std::to_string(entries.size()) + " entries:";
    for (const QString &e : entries)
        out += " [" + fuzz::show(e) + "]";
    return out;
}

void checkEqual(const QList<QString> &actual, const QList<QString> &expected, const char *what)
{
    if (actual != expected)
        fuzz::fail(what, __FILE__, __LINE__, "actual:   " + show(actual) + "\nexpected: " + show(expected));
}

// Every comma ends a piece, so n commas make n + 1 pieces; then spaces
// (U+0020 only) come off both ends of each.
QList<QString> referencePromptEntries(const QString &answer)
{
    QList<QString> pieces{QString()};
    for (const QChar c : answer) {
        if (c == u',')
            pieces.append(QString());
        else
            pieces.last().append(c);
    }
    for (QString &piece : pieces) {
        qsizetype from = 0, to = piece.size();
        while (from < to && piece.at(from) == u' ')
            ++from;
        while (to > from && piece.at(to - 1) == u' ')
            --to;
        piece = piece.mid(from, to - from);
    }
    return pieces;
}

// CR LF, CR and LF each end a line; a line end at the very end makes no
// further line, and an empty text has no line at all.
QList<QString> referencePastedEntries(const QString &text)
{
    QString unified = text;
    unified.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    unified.replace(u'\r', u'\n');
    QList<QString> lines = unified.split(u'\n');
    if (lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *bytes, std::size_t size)
{
    FuzzedDataProvider data(bytes, size);
    const bool latin1 = data.ConsumeBool();
    const QString text = fuzz::takeText(data, 4096, latin1);

    QList<QString> prompt;
    for (const QStringView piece : Main::SplitAtCommas(text))
        prompt.append(Main::TrimSpaces(piece).toString());
    checkEqual(prompt, referencePromptEntries(text), "prompt pieces differ from the reference");

    NumberListModel list;
    list.append(QLatin1StringView("already there"));
    Main::AppendLines(list, text);
    QList<QString> pasted;
    FUZZ_CHECK(list.count() >= 1 && list.textString(0) == QLatin1StringView("already there"),
               "the entry before the paste changed");
    for (qsizetype row = 1; row < list.count(); ++row)
        pasted.append(list.textString(row));
    checkEqual(pasted, referencePastedEntries(text), "pasted lines differ from the reference");
    return 0;
}
