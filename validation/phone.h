#pragma once

#include "app/form1.h"
#include "app/list/textstore.h"

#include <QCheckBox>

#include <QLatin1StringView>
#include <QStringView>

#include <functional>
#include <type_traits>

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

// The three option boxes as they stand now; a box counts as on only when its
// value is 1 (greyed counts as off).
inline bool TenDigitOptionOn(const Form1 &form)
{
    return form.Check1->checkState() == Qt::Checked;
}
inline bool TenDigitPlus1OptionOn(const Form1 &form)
{
    return form.Check2->checkState() == Qt::Checked;
}
inline bool SevenDigitOptionOn(const Form1 &form)
{
    return form.Check3->checkState() == Qt::Checked;
}

namespace detail {
template<typename View>
bool validate(const Form1 &form, View text)
{
    // The rule sets only read, so asking them before the boxes changes no
    // answer; it spares reading a box whose shapes the text does not have.
    if (IsValid10DigitPhoneNumber(text) && TenDigitOptionOn(form))
        return true;
    if (IsValid10DigitPhoneNumberPlus1(text) && TenDigitPlus1OptionOn(form))
        return true;
    return IsValid7DigitPhoneNumber(text) && SevenDigitOptionOn(form);
}
} // namespace detail

// True when the text is valid under the options of `form`, read afresh on
// every call: any enabled option whose rule set accepts the text makes it
// valid; with no option on nothing is valid.
inline bool ValidatePhoneNumber(const Form1 &form, QStringView text)
{
    return detail::validate(form, text);
}
inline bool ValidatePhoneNumber(const Form1 &form, QLatin1StringView text)
{
    return detail::validate(form, text);
}

inline bool ValidatePhoneNumber(const Form1 &form, const EntryText &text)
{
    return text.visit([&](auto view) { return ValidatePhoneNumber(form, view); });
}

// For tests: when set, the validation run calls the probe before each
// numbered step of its loop (106 to 114) with the step and the entry position
// (from 1); a probe that throws makes that step fail.
using RunStepProbe = std::function<void(int step, qsizetype entry)>;
void SetRunStepProbe(RunStepProbe probe);

} // namespace Phone
