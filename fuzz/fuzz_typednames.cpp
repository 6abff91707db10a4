// The open dialog's name box: any typed text gives the names of a reference
// that reads it one character at a time through an explicit state machine,
// with its own table of white space; and any list of names, joined, reads
// back as itself.

#include "fuzz/fuzzsupport.h"

#include "platform/typednames.h"

#include <QStringList>

#include <optional>

namespace {

// Unicode's White_Space characters that fit in one UTF-16 unit.
bool isWhiteSpace(char16_t u)
{
    switch (u) {
    case 0x0009:
    case 0x000A:
    case 0x000B:
    case 0x000C:
    case 0x000D:
    case 0x0020:
    case 0x0085:
    case 0x00A0:
    case 0x1680:
    case 0x2028:
    case 0x2029:
    case 0x202F:
    case 0x205F:
    case 0x3000:
        return true;
    default:
        return u >= 0x2000 && u <= 0x200A;
    }
}

// A quoted list: white space, then items in double quotes ("" inside one is
// a quote), with white space between items, then white space. Anything else
// that is not all white space is one name, as typed.
QStringList referenceSplit(const QString &text)
{
    enum class State { Before, InItem, QuoteInItem, Between, NotAList };
    State state = State::Before;
    QStringList names;
    QString name;
    const auto closeItem = [&] {
        if (!name.isEmpty())
            names.append(name);
        name.clear();
    };
    for (const QChar ch : text) {
        const char16_t u = ch.unicode();
        switch (state) {
        case State::Before:
        case State::Between:
            if (u == u'"')
                state = State::InItem;
            else if (!isWhiteSpace(u))
                state = State::NotAList;
            break;
        case State::InItem:
            if (u == u'"')
                state = State::QuoteInItem;
            else
                name.append(ch);
            break;
        case State::QuoteInItem:
            if (u == u'"') {
                name.append(ch);
                state = State::InItem;
            } else if (isWhiteSpace(u)) {
                closeItem();
                state = State::Between;
            } else {
                state = State::NotAList;
            }
            break;
        case State::NotAList:
            break;
        }
        if (state == State::NotAList)
            break;
    }
    switch (state) {
    case State::QuoteInItem:
        closeItem();
        return names;
    case State::Between:
        return names;
    case State::Before:
        return {}; // empty or white space only
    case State::InItem:
    case State::NotAList:
        break;
    }
    return {text};
}

std::string show(const QStringList &names)
{
    std::string out = std::to_string(names.size()) + " names:";
    for (const QString &n : names)
        out += " [" + fuzz::show(n) + "]";
    return out;
}

// Characters that matter to the parser, and some that look as if they might.
constexpr char16_t kInteresting[16] = {u'"',   u' ',   u'\t',  u'a',   u'"',   u'\n',  0x3000, 0x00A0,
                                       0x0085, 0x2028, 0x1680, 0x180E, 0x200B, 0xFEFF, 0xD83D, u'.'};

// A text in one of three alphabets: the interesting characters, Latin-1, or
// any UTF-16 unit.
QString takeText(FuzzedDataProvider &data, std::size_t maxUnits)
{
    const int alphabet = data.ConsumeIntegralInRange<int>(0, 2);
    if (alphabet > 0)
        return fuzz::takeText(data, maxUnits, alphabet == 1);
    QString text;
    const std::size_t n = data.ConsumeIntegralInRange<std::size_t>(0, maxUnits);
    for (std::size_t i = 0; i < n && data.remaining_bytes() > 0; ++i)
        text.append(QChar(kInteresting[data.ConsumeIntegral<unsigned char>() % 16]));
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *bytes, std::size_t size)
{
    FuzzedDataProvider data(bytes, size);
    if (data.ConsumeBool()) {
        // The input as typed text: first as it is (Latin-1), then in the chosen alphabet.
        const std::string raw = data.ConsumeRemainingBytesAsString();
        const QString typed = QString::fromLatin1(raw.data(), qsizetype(raw.size()));
        const QStringList names = SplitTypedFileNames(typed);
        if (names != referenceSplit(typed))
            fuzz::fail("names differ from the reference", __FILE__, __LINE__,
                       "typed:    " + fuzz::show(typed) + "\nactual:   " + show(names)
                           + "\nexpected: " + show(referenceSplit(typed)));
        return 0;
    }

    const QString typed = takeText(data, 256);
    const QStringList names = SplitTypedFileNames(typed);
    if (names != referenceSplit(typed))
        fuzz::fail("names differ from the reference", __FILE__, __LINE__,
                   "typed:    " + fuzz::show(typed) + "\nactual:   " + show(names)
                       + "\nexpected: " + show(referenceSplit(typed)));

    // A list of names, joined as the dialog writes them, reads back as itself;
    // an empty name, which no file has, is left out.
    QStringList list;
    const int count = data.ConsumeIntegralInRange<int>(0, 6);
    for (int i = 0; i < count; ++i)
        list.append(takeText(data, 32));
    const QString joined = JoinTypedFileNames(list);
    QStringList expected = list;
    expected.removeAll(QString());
    const QStringList back = SplitTypedFileNames(joined);
    const QStringList reference = referenceSplit(joined);
    if (back != expected || reference != expected)
        fuzz::fail("the joined names do not read back", __FILE__, __LINE__,
                   "names:     " + show(list) + "\njoined:    " + fuzz::show(joined)
                       + "\nread back: " + show(back) + "\nreference: " + show(reference));
    // A single name that reads as itself is written as it is.
    if (list.size() == 1 && referenceSplit(list.front()) == list)
        FUZZ_EQUAL(joined, list.front());
    return 0;
}
