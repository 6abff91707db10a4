#include "platform/typednames.h"

#include <optional>

namespace {

constexpr QChar kQuote = u'"';

// The items of a quoted list, or nothing when the text is not one.
std::optional<QStringList> quotedList(const QString &text)
{
    QStringList names;
    qsizetype i = 0;
    const qsizetype size = text.size();
    auto skipSpace = [&] {
        const qsizetype start = i;
        while (i < size && text.at(i).isSpace())
            ++i;
        return i > start;
    };
    skipSpace();
    if (i == size)
        return std::nullopt;
    for (;;) {
        if (text.at(i) != kQuote)
            return std::nullopt;
        ++i;
        QString name;
        for (;;) {
            if (i == size)
                return std::nullopt; // an item never closed
            if (text.at(i) == kQuote) {
                if (i + 1 < size && text.at(i + 1) == kQuote) {
                    name += kQuote;
                    i += 2;
                    continue;
                }
                ++i;
                break;
            }
            name += text.at(i);
            ++i;
        }
        if (!name.isEmpty())
            names << name;
        const bool spaced = skipSpace();
        if (i == size)
            return names;
        if (!spaced)
            return std::nullopt; // "a"b: the quotes belong to a name
    }
}

} // namespace

QStringList SplitTypedFileNames(const QString &text)
{
    if (std::optional<QStringList> names = quotedList(text))
        return *names;
    if (text.trimmed().isEmpty())
        return {};
    return {text};
}

QString JoinTypedFileNames(const QStringList &names)
{
    if (names.size() == 1 && SplitTypedFileNames(names.front()) == names)
        return names.front();
    QStringList quoted;
    for (QString name : names)
        quoted << kQuote + name.replace(kQuote, QStringLiteral("\"\"")) + kQuote;
    return quoted.join(u' ');
}
