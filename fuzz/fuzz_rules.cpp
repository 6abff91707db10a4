// The format rules: ValidatePhoneNumber under each of the eight option sets,
// the rule sets alone, and the fast judge of stored list entries, against the
// fourteen shapes written as regular expressions.

#include "fuzz/fuzzsupport.h"

#include "validation/phone.h"

#include <memory>
#include <regex>
#include <vector>

namespace {

struct RuleSet
{
    unsigned option;
    std::vector<std::regex> shapes;
};

std::vector<std::regex> compile(std::initializer_list<const char *> patterns)
{
    std::vector<std::regex> out;
    for (const char *p : patterns)
        out.emplace_back(p, std::regex::ECMAScript);
    return out;
}

const std::vector<RuleSet> &ruleSets()
{
    static const std::vector<RuleSet> sets = {
        {Phone::kTenDigitOption,
         compile({R"([0-9]{3} [0-9]{3} [0-9]{4})", R"([0-9]{3}\.[0-9]{3}\.[0-9]{4})", R"([0-9]{10})",
                  R"([0-9]{3}-[0-9]{3}-[0-9]{4})", R"(\([0-9]{3}\)[0-9]{3}-[0-9]{4})",
                  R"(\([0-9]{3}\) [0-9]{3}-[0-9]{4})"})},
        {Phone::kTenDigitPlus1Option,
         compile({R"(1 [0-9]{3} [0-9]{3} [0-9]{4})", R"(1\.[0-9]{3}\.[0-9]{3}\.[0-9]{4})", R"(1[0-9]{10})",
                  R"(1-[0-9]{3}-[0-9]{3}-[0-9]{4})"})},
        {Phone::kSevenDigitOption,
         compile({R"([0-9]{3} [0-9]{4})", R"([0-9]{3}\.[0-9]{4})", R"([0-9]{7})", R"([0-9]{3}-[0-9]{4})"})},
    };
    return sets;
}

// The options whose rule set has a shape matching the whole text.
unsigned referenceRuleSets(QStringView text)
{
    // The shapes hold ASCII only: any other character matches none of them.
    std::string narrow;
    for (const QChar c : text) {
        if (c.unicode() >= 0x80)
            return 0;
        narrow.push_back(char(c.unicode()));
    }
    unsigned found = 0;
    for (const RuleSet &set : ruleSets()) {
        for (const std::regex &shape : set.shapes) {
            if (std::regex_match(narrow, shape))
                found |= set.option;
        }
    }
    return found;
}

// An entry as the lists store it: its bytes, and no more than the promised
// read-ahead past its start, so that reading further is caught.
EntryText entryIn(std::vector<char> &storage, QByteArrayView bytes, bool wide)
{
    storage.assign(std::max<std::size_t>(std::size_t(bytes.size()), EntryText::kReadAhead), '7');
    std::copy(bytes.begin(), bytes.end(), storage.begin());
    EntryText t;
    t.data = storage.data();
    t.bytes = bytes.size();
    t.wide = wide;
    return t;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *bytes, std::size_t size)
{
    FuzzedDataProvider data(bytes, size);
    const bool latin1 = data.ConsumeBool();
    const QString text = fuzz::takeText(data, 24, latin1);
    const QByteArray latin1Bytes = text.toLatin1(); // exact when `latin1`

    const unsigned expected = referenceRuleSets(text);
    // The rule sets take texts of different shapes: at most one accepts.
    FUZZ_CHECK((expected & (expected - 1)) == 0, fuzz::show(text));

    const auto checkRuleSets = [&](auto view, const char *kind) {
        const unsigned actual = (Phone::IsValid10DigitPhoneNumber(view) ? Phone::kTenDigitOption : 0u)
            | (Phone::IsValid10DigitPhoneNumberPlus1(view) ? Phone::kTenDigitPlus1Option : 0u)
            | (Phone::IsValid7DigitPhoneNumber(view) ? Phone::kSevenDigitOption : 0u);
        FUZZ_CHECK(actual == expected, std::string(kind) + " rule sets, text " + fuzz::show(text));
        FUZZ_CHECK(Phone::RuleSetOf(view) == expected,
                   std::string(kind) + " RuleSetOf, text " + fuzz::show(text));
        for (unsigned options = 0; options < 8; ++options) {
            const bool valid = Phone::ValidatePhoneNumber(options, view);
            FUZZ_CHECK(valid == ((expected & options) != 0),
                       std::string(kind) + " options " + std::to_string(options) + ", text "
                           + fuzz::show(text));
        }
    };
    checkRuleSets(QStringView(text), "UTF-16");
    if (latin1)
        checkRuleSets(QLatin1StringView(latin1Bytes), "Latin-1");

    // The validation run's judge of stored entries, which reads 16 bytes at
    // once: in a tight buffer, and in the lists' own store.
    std::vector<char> storage;
    const QByteArrayView utf16Bytes(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
    FUZZ_CHECK(Phone::RuleSetOf(entryIn(storage, utf16Bytes, true)) == expected,
               "wide entry " + fuzz::show(text));
    if (latin1) {
        FUZZ_CHECK(Phone::RuleSetOf(entryIn(storage, latin1Bytes, false)) == expected,
                   "Latin-1 entry " + fuzz::show(text));
    }
    static TextArena arena;
    const EntryRecord record = arena.store(QStringView(text));
    FUZZ_CHECK(Phone::RuleSetOf(arena.text(record)) == expected, "stored entry " + fuzz::show(text));
    for (unsigned options = 0; options < 8; ++options) {
        FUZZ_CHECK(Phone::ValidatePhoneNumber(options, arena.text(record)) == ((expected & options) != 0),
                   "stored entry, options " + std::to_string(options) + ", text " + fuzz::show(text));
    }
    arena.release(record);
    return 0;
}
