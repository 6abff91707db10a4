#pragma once

#include "app/list/textstore.h"

#include <QLatin1StringView>
#include <QStringView>

#include <array>
#include <cstdint>
#include <type_traits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// The format rules: a text is a valid United States number when it matches one
// of fourteen fixed shapes of ASCII digits and separators exactly. Nothing is
// trimmed or converted, and no digit value is checked. The matchers take a
// length switch and a few character tests, allocate nothing and cannot fail.
namespace Phone {

namespace detail {

template<typename Char>
constexpr bool isDigit(Char c)
{
    // Unsigned compare: a Latin-1 byte above 0x7f must not pass as a digit.
    using U = std::make_unsigned_t<Char>;
    return U(U(c) - U('0')) <= U(9);
}

// True when s[from..from+count) are all ASCII digits.
template<typename Char>
constexpr bool digits(const Char *s, int from, int count)
{
    for (int i = from; i < from + count; ++i) {
        if (!isDigit(s[i]))
            return false;
    }
    return true;
}

template<typename Char>
constexpr bool isSeparator(Char c)
{
    return c == Char(' ') || c == Char('.') || c == Char('-');
}

// "ddd?ddd?dddd" with one separator from " .-" used twice, starting at `at`.
template<typename Char>
constexpr bool groupsWithSeparator(const Char *s, int at)
{
    const Char sep = s[at + 3];
    return isSeparator(sep) && s[at + 7] == sep && digits(s, at, 3) && digits(s, at + 4, 3)
        && digits(s, at + 8, 4);
}

template<typename Char>
constexpr bool tenDigits(const Char *s, qsizetype n)
{
    switch (n) {
    case 10: // 8883429122
        return digits(s, 0, 10);
    case 12: // 888 342 9122, 888.342.9122, 888-342-9122
        return groupsWithSeparator(s, 0);
    case 13: // (888)342-9122
        return s[0] == Char('(') && s[4] == Char(')') && s[8] == Char('-') && digits(s, 1, 3)
            && digits(s, 5, 3) && digits(s, 9, 4);
    case 14: // (888) 342-9122
        return s[0] == Char('(') && s[4] == Char(')') && s[5] == Char(' ') && s[9] == Char('-')
            && digits(s, 1, 3) && digits(s, 6, 3) && digits(s, 10, 4);
    default:
        return false;
    }
}

template<typename Char>
constexpr bool tenDigitsPlus1(const Char *s, qsizetype n)
{
    switch (n) {
    case 11: // 18883429122
        return s[0] == Char('1') && digits(s, 1, 10);
    case 14: // 1 888 342 9122, 1.888.342.9122, 1-888-342-9122
        return s[0] == Char('1') && isSeparator(s[1]) && s[5] == s[1] && groupsWithSeparator(s, 2);
    default:
        return false;
    }
}

template<typename Char>
constexpr bool sevenDigits(const Char *s, qsizetype n)
{
    switch (n) {
    case 7: // 3429122
        return digits(s, 0, 7);
    case 8: // 342 9122, 342.9122, 342-9122
        return isSeparator(s[3]) && digits(s, 0, 3) && digits(s, 4, 4);
    default:
        return false;
    }
}

inline const char16_t *chars(QStringView text)
{
    return reinterpret_cast<const char16_t *>(text.utf16());
}
inline const char *chars(QLatin1StringView text)
{
    return text.data();
}

} // namespace detail

// Rule set of Check1: 888 342 9122, 888.342.9122, 8883429122, 888-342-9122,
// (888)342-9122, (888) 342-9122.
inline bool IsValid10DigitPhoneNumber(QStringView text)
{
    return detail::tenDigits(detail::chars(text), text.size());
}
inline bool IsValid10DigitPhoneNumber(QLatin1StringView text)
{
    return detail::tenDigits(detail::chars(text), text.size());
}

// Rule set of Check2: 1 888 342 9122, 1.888.342.9122, 18883429122,
// 1-888-342-9122.
inline bool IsValid10DigitPhoneNumberPlus1(QStringView text)
{
    return detail::tenDigitsPlus1(detail::chars(text), text.size());
}
inline bool IsValid10DigitPhoneNumberPlus1(QLatin1StringView text)
{
    return detail::tenDigitsPlus1(detail::chars(text), text.size());
}

// Rule set of Check3: 342 9122, 342.9122, 3429122, 342-9122.
inline bool IsValid7DigitPhoneNumber(QStringView text)
{
    return detail::sevenDigits(detail::chars(text), text.size());
}
inline bool IsValid7DigitPhoneNumber(QLatin1StringView text)
{
    return detail::sevenDigits(detail::chars(text), text.size());
}

// The options as bits, one per rule set. The window reads its boxes Check1,
// Check2 and Check3 into them; the rules never see a box.
enum OptionBit : unsigned {
    kTenDigitOption = 1,
    kTenDigitPlus1Option = 2,
    kSevenDigitOption = 4,
};

// The option whose rule set accepts the text, or 0. The three rule sets take
// texts of different shapes, so at most one does.
template<typename View>
unsigned RuleSetOf(View text)
{
    if (IsValid10DigitPhoneNumber(text))
        return kTenDigitOption;
    if (IsValid10DigitPhoneNumberPlus1(text))
        return kTenDigitPlus1Option;
    return IsValid7DigitPhoneNumber(text) ? kSevenDigitOption : 0u;
}

namespace detail {

#if defined(__SSE2__)
// The fourteen shapes again, as masks over the positions of a text of 7 to 14
// bytes, so that one 16-byte load and a few compares judge a list entry
// without a branch on its characters: in a list of mixed shapes and near
// misses those branches are mispredicted at every other entry.
struct Shape
{
    alignas(16) char fixed[16] = {}; // the literal characters, at their positions
    std::uint16_t fixedMask = 0;     // positions of literal characters
    std::uint16_t digitMask = 0;     // positions of digits
    std::uint16_t separatorMask = 0; // positions of the separator
    // Three of those positions, whose bytes must be equal: the first, the
    // second (or the first again) and the last.
    std::uint8_t firstSeparator = 0;
    std::uint8_t middleSeparator = 0;
    std::uint8_t lastSeparator = 0;
    std::uint8_t ruleSet = 0; // OptionBit, 0 for no shape
};

// 'd' a digit, 's' the separator (one of " .-", the same throughout), any
// other character itself.
constexpr Shape makeShape(const char *pattern, unsigned ruleSet)
{
    Shape shape;
    int separators = 0;
    std::uint8_t at[3] = {};
    for (int i = 0; pattern[i]; ++i) {
        if (pattern[i] == 'd') {
            shape.digitMask |= std::uint16_t(1u << i);
        } else if (pattern[i] == 's') {
            shape.separatorMask |= std::uint16_t(1u << i);
            at[separators++] = std::uint8_t(i);
        } else {
            shape.fixedMask |= std::uint16_t(1u << i);
            shape.fixed[i] = pattern[i];
        }
    }
    shape.firstSeparator = at[0];
    shape.middleSeparator = separators > 2 ? at[1] : at[0];
    shape.lastSeparator = separators > 1 ? at[separators - 1] : at[0];
    shape.ruleSet = std::uint8_t(ruleSet);
    return shape;
}

constexpr unsigned kShortestShape = 7;
constexpr unsigned kLongestShape = 14;
using ShapesOfLength = std::array<Shape, 2>;

constexpr std::array<ShapesOfLength, kLongestShape - kShortestShape + 1> makeShapeTable()
{
    struct Entry
    {
        const char *pattern;
        unsigned ruleSet;
    };
    constexpr Entry shapes[] = {
        {"dddddddddd", kTenDigitOption},       {"dddsdddsdddd", kTenDigitOption},
        {"(ddd)ddd-dddd", kTenDigitOption},    {"(ddd) ddd-dddd", kTenDigitOption},
        {"1dddddddddd", kTenDigitPlus1Option}, {"1sdddsdddsdddd", kTenDigitPlus1Option},
        {"ddddddd", kSevenDigitOption},        {"dddsdddd", kSevenDigitOption},
    };
    std::array<ShapesOfLength, kLongestShape - kShortestShape + 1> table = {};
    for (const Entry &e : shapes) {
        unsigned length = 0;
        while (e.pattern[length])
            ++length;
        ShapesOfLength &slot = table[length - kShortestShape];
        (slot[0].ruleSet == 0 ? slot[0] : slot[1]) = makeShape(e.pattern, e.ruleSet);
    }
    return table;
}

inline constexpr auto kShapeTable = makeShapeTable();

inline unsigned ruleSetOfShortText(const char *s, unsigned length)
{
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(s));
    const __m128i offset = _mm_sub_epi8(v, _mm_set1_epi8('0'));
    const unsigned digits =
        unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(offset, _mm_set1_epi8(9)), offset)));
    const unsigned separators = unsigned(_mm_movemask_epi8(_mm_or_si128(
        _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8(' ')), _mm_cmpeq_epi8(v, _mm_set1_epi8('.'))),
        _mm_cmpeq_epi8(v, _mm_set1_epi8('-')))));
    unsigned ruleSet = 0;
    for (const Shape &shape : kShapeTable[length - kShortestShape]) {
        const unsigned fixed = unsigned(_mm_movemask_epi8(
            _mm_cmpeq_epi8(v, _mm_load_si128(reinterpret_cast<const __m128i *>(shape.fixed)))));
        const bool matches = ((digits & shape.digitMask) == shape.digitMask)
            & ((fixed & shape.fixedMask) == shape.fixedMask)
            & ((separators & shape.separatorMask) == shape.separatorMask)
            & (s[shape.firstSeparator] == s[shape.middleSeparator])
            & (s[shape.middleSeparator] == s[shape.lastSeparator]);
        ruleSet |= -unsigned(matches) & shape.ruleSet;
    }
    return ruleSet;
}
#endif

} // namespace detail

// RuleSetOf for a list entry, whose bytes may be read ahead of its end.
inline unsigned RuleSetOf(const EntryText &text)
{
#if defined(__SSE2__)
    if (!text.wide) {
        const auto length = std::size_t(text.bytes);
        if (length - detail::kShortestShape > detail::kLongestShape - detail::kShortestShape)
            return 0;
        static_assert(EntryText::kReadAhead >= 16);
        return detail::ruleSetOfShortText(text.data, unsigned(length));
    }
#endif
    return text.visit([](auto view) { return RuleSetOf(view); });
}

// True when the text is valid under `options` (OptionBit): any option on
// whose rule set accepts the text makes it valid; with no option on nothing
// is valid.
inline bool ValidatePhoneNumber(unsigned options, QStringView text)
{
    return (RuleSetOf(text) & options) != 0;
}
inline bool ValidatePhoneNumber(unsigned options, QLatin1StringView text)
{
    return (RuleSetOf(text) & options) != 0;
}
inline bool ValidatePhoneNumber(unsigned options, const EntryText &text)
{
    return (RuleSetOf(text) & options) != 0;
}

} // namespace Phone
