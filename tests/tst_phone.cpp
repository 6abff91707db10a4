#include "app/form1.h"
#include "platform/fakeplatform.h"
#include "testsupport.h"
#include "validation/phone.h"
#include "validation/validationhandlers.h"

#include <QCheckBox>
#include <QRandomGenerator>
#include <QTest>

namespace {

// ---- an independent reference: the shapes as written, matched element by element

const char *const kTenDigitPatterns[] = {
    "[0-9][0-9][0-9] [0-9][0-9][0-9] [0-9][0-9][0-9][0-9]",
    "[0-9][0-9][0-9].[0-9][0-9][0-9].[0-9][0-9][0-9][0-9]",
    "[0-9][0-9][0-9][0-9][0-9][0-9][0-9][0-9][0-9][0-9]",
    "[0-9][0-9][0-9]-[0-9][0-9][0-9]-[0-9][0-9][0-9][0-9]",
    "([0-9][0-9][0-9])[0-9][0-9][0-9]-[0-9][0-9][0-9][0-9]",
    "([0-9][0-9][0-9]) [0-9][0-9][0-9]-[0-9][0-9][0-9][0-9]",
};
const char *const kPlus1Patterns[] = {
    "1 [0-9][0-9][0-9] [0-9][0-9][0-9] [0-9][0-9][0-9][0-9]",
    "1.[0-9][0-9][0-9].[0-9][0-9][0-9].[0-9][0-9][0-9][0-9]",
    "1[0-9][0-9][0-9][0-9][0-9][0-9][0-9][0-9][0-9][0-9]",
    "1-[0-9][0-9][0-9]-[0-9][0-9][0-9]-[0-9][0-9][0-9][0-9]",
};
const char *const kSevenDigitPatterns[] = {
    "[0-9][0-9][0-9] [0-9][0-9][0-9][0-9]",
    "[0-9][0-9][0-9].[0-9][0-9][0-9][0-9]",
    "[0-9][0-9][0-9][0-9][0-9][0-9][0-9]",
    "[0-9][0-9][0-9]-[0-9][0-9][0-9][0-9]",
};

constexpr char16_t kAnyDigit = 0; // element standing for [0-9]

QList<char16_t> elementsOf(const char *pattern)
{
    const QByteArray p(pattern);
    QList<char16_t> elements;
    for (qsizetype i = 0; i < p.size();) {
        if (p.mid(i, 5) == "[0-9]") {
            elements.append(kAnyDigit);
            i += 5;
        } else {
            elements.append(char16_t(p.at(i)));
            ++i;
        }
    }
    return elements;
}

template<qsizetype N>
QList<QList<char16_t>> ruleSet(const char *const (&patterns)[N])
{
    QList<QList<char16_t>> set;
    for (const char *p : patterns)
        set.append(elementsOf(p));
    return set;
}

bool matchesElements(const QString &text, const QList<char16_t> &elements)
{
    if (text.size() != elements.size())
        return false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        const bool fits = elements.at(i) == kAnyDigit ? (c >= u'0' && c <= u'9') : c == elements.at(i);
        if (!fits)
            return false;
    }
    return true;
}

bool acceptedBy(const QString &text, const QList<QList<char16_t>> &set)
{
    return std::any_of(set.begin(), set.end(),
                       [&](const QList<char16_t> &e) { return matchesElements(text, e); });
}

struct Reference
{
    QList<QList<char16_t>> tenDigit = ruleSet(kTenDigitPatterns);
    QList<QList<char16_t>> plus1 = ruleSet(kPlus1Patterns);
    QList<QList<char16_t>> sevenDigit = ruleSet(kSevenDigitPatterns);

    bool valid(const QString &text, bool on10, bool onPlus1, bool on7) const
    {
        return (on10 && acceptedBy(text, tenDigit)) || (onPlus1 && acceptedBy(text, plus1))
            || (on7 && acceptedBy(text, sevenDigit));
    }
};

// ---- generated texts

// Characters a number is made of, and the near misses that must not pass:
// other separators, letters, tab, other scripts' digits, Latin-1 signs and
// characters whose low byte is an ASCII digit or separator.
const QList<char16_t> &alphabet()
{
    static const QList<char16_t> chars = [] {
        QList<char16_t> c;
        for (char16_t d = u'0'; d <= u'9'; ++d)
            c.append(d);
        for (char16_t s : u"()-. +,/aAxX\t")
            if (s)
                c.append(s);
        c << u'\uFF10' << u'\uFF11' << u'\uFF18' << u'\uFF19' // full-width digits
          << u'\u0660' << u'\u0968'                           // Arabic-Indic and Devanagari digits
          << u'\u00B9' << u'\u00B2' << u'\u00A0'              // superscripts, no-break space
          << u'\u0131' << u'\u0138' << u'\u0120' << u'\u012D' // low byte '1', '8', ' ', '-'
          << u'\u2010' << u'\u2013';                          // Unicode hyphen and dash
        return c;
    }();
    return chars;
}

char16_t randomChar(QRandomGenerator &rng)
{
    // Digits half the time, so that long texts come near the shapes.
    if (rng.bounded(2) == 0)
        return char16_t(u'0' + rng.bounded(10));
    return alphabet().at(rng.bounded(alphabet().size()));
}

QString instance(const char *pattern, QRandomGenerator &rng)
{
    QString text;
    for (char16_t e : elementsOf(pattern))
        text.append(QChar(e == kAnyDigit ? char16_t(u'0' + rng.bounded(10)) : e));
    return text;
}

QStringList generatedTexts()
{
    QRandomGenerator rng(20210831);
    QStringList texts;
    // Every length from 0 to 16, random characters.
    for (int length = 0; length <= 16; ++length) {
        for (int k = 0; k < 2000; ++k) {
            QString t;
            for (int i = 0; i < length; ++i)
                t.append(QChar(randomChar(rng)));
            texts.append(t);
        }
    }
    // Every shape, and every single substitution, deletion and insertion of it.
    QList<const char *> patterns;
    for (const char *p : kTenDigitPatterns)
        patterns.append(p);
    for (const char *p : kPlus1Patterns)
        patterns.append(p);
    for (const char *p : kSevenDigitPatterns)
        patterns.append(p);
    for (const char *pattern : patterns) {
        for (int k = 0; k < 12; ++k) {
            const QString base = instance(pattern, rng);
            texts.append(base);
            for (qsizetype i = 0; i <= base.size(); ++i) {
                if (i < base.size())
                    texts.append(QString(base).remove(i, 1));
                for (char16_t c : alphabet()) {
                    if (i < base.size())
                        texts.append(QString(base).replace(i, 1, QChar(c)));
                    texts.append(QString(base).insert(i, QChar(c)));
                }
            }
        }
    }
    return texts;
}

bool fitsLatin1(const QString &text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() <= 0xff; });
}

QString visible(const QString &text)
{
    QString out;
    for (QChar c : text)
        out += c.unicode() >= 0x20 && c.unicode() < 0x7f
            ? QString(c)
            : QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
    return QLatin1Char('"') + out + QLatin1Char('"');
}

} // namespace

class TestPhone : public QObject
{
    Q_OBJECT

private:
    // The text judged as QString and, where it fits, as Latin-1 bytes and as a
    // stored entry of either kind.
    void compareAllStorages(const QString &text, bool expected)
    {
        QCOMPARE(Phone::ValidatePhoneNumber(validationOptions(*m_form), QStringView(text)), expected);
        TextArena arena;
        const EntryRecord record = arena.store(QStringView(text));
        QCOMPARE(Phone::ValidatePhoneNumber(validationOptions(*m_form), arena.text(record)), expected);
        if (fitsLatin1(text)) {
            const QByteArray bytes = text.toLatin1();
            QCOMPARE(Phone::ValidatePhoneNumber(validationOptions(*m_form), QLatin1StringView(bytes)),
                     expected);
        }
    }

    FakePlatform m_platform;
    std::unique_ptr<Form1> m_form;

private slots:
    void initTestCase() { m_form = std::make_unique<Form1>(m_platform); }
    void cleanupTestCase() { m_form.reset(); }

    void judgesShapesWithAllOptionsOn_data();
    void judgesShapesWithAllOptionsOn();
    void ruleSetsAcceptOnlyTheirOwnShapes_data();
    void ruleSetsAcceptOnlyTheirOwnShapes();
    void appliesOnlyTheOptionsThatAreOn_data();
    void appliesOnlyTheOptionsThatAreOn();
    void readsTheOptionsAtEveryCall();
    void agreesWithReferenceOnGeneratedTexts();
    void ruleSetsAgreeWithReferenceOnGeneratedTexts();
};

void TestPhone::judgesShapesWithAllOptionsOn_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    const auto row = [](const char *name, const QString &text, bool valid) {
        QTest::newRow(name) << text << valid;
    };
    row("dashed", QStringLiteral("888-342-9122"), true);
    row("parenthesised with space", QStringLiteral("(888) 342-9122"), true);
    row("parenthesised", QStringLiteral("(888)342-9122"), true);
    row("dotted", QStringLiteral("888.342.9122"), true);
    row("spaced", QStringLiteral("888 342 9122"), true);
    row("ten plain digits", QStringLiteral("8883429122"), true);
    row("plus-1 dashed", QStringLiteral("1-888-342-9122"), true);
    row("plus-1 spaced", QStringLiteral("1 888 342 9122"), true);
    row("plus-1 dotted", QStringLiteral("1.888.342.9122"), true);
    row("plus-1 plain", QStringLiteral("18883429122"), true);
    row("seven dashed", QStringLiteral("342-9122"), true);
    row("seven spaced", QStringLiteral("342 9122"), true);
    row("seven dotted", QStringLiteral("342.9122"), true);
    row("seven plain", QStringLiteral("3429122"), true);
    row("all zeros", QStringLiteral("000-000-0000"), true);
    row("ten digits beginning with 1", QStringLiteral("1888342912"), true);
    row("dash then dot", QStringLiteral("888-342.9122"), false);
    row("space then dash", QStringLiteral("888 342-9122"), false);
    row("parenthesis then dash", QStringLiteral("(888)-342-9122"), false);
    row("parenthesised then spaces", QStringLiteral("(888) 342 9122"), false);
    row("parenthesised then dots", QStringLiteral("(888).342.9122"), false);
    row("one dash missing", QStringLiteral("888-3429122"), false);
    row("doubled dash", QStringLiteral("888--342-9122"), false);
    row("leading plus", QStringLiteral("+1 888 342 9122"), false);
    row("1 then parenthesised", QStringLiteral("1 (888) 342-9122"), false);
    row("1 dash parenthesised", QStringLiteral("1-(888)-342-9122"), false);
    row("space before", QStringLiteral(" 888-342-9122"), false);
    row("space after", QStringLiteral("888-342-9122 "), false);
    row("extension", QStringLiteral("888-342-9122 x12"), false);
    row("trailing comma", QStringLiteral("888-342-9122,"), false);
    row("letters", QStringLiteral("1-800-FLOWERS"), false);
    row("letter for last digit", QStringLiteral("888-342-912A"), false);
    row("full-width digits",
        QStringLiteral(u"\uFF18\uFF18\uFF18-\uFF13\uFF14\uFF12-\uFF19\uFF11\uFF12\uFF12"), false);
    row("empty", QString(), false);
    row("eleven digits not beginning with 1", QStringLiteral("88834291220"), false);
    row("tab inside", QStringLiteral("888\t342\t9122"), false);
    row("mixed plus-1 separators", QStringLiteral("1-888.342.9122"), false);
    row("plus-1 parenthesised", QStringLiteral("1(888)342-9122"), false);
    row("seven with two spaces", QStringLiteral("342  9122"), false);
    row("Latin-1 superscript one", QStringLiteral(u"\u00B9-888-342-9122"), false);
}

void TestPhone::judgesShapesWithAllOptionsOn()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    setOptions(*m_form, 1, 1, 1);
    compareAllStorages(text, valid);
}

void TestPhone::ruleSetsAcceptOnlyTheirOwnShapes_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("tenDigit");
    QTest::addColumn<bool>("plus1");
    QTest::addColumn<bool>("sevenDigit");
    QTest::newRow("10-digit dashed") << QStringLiteral("888-342-9122") << true << false << false;
    QTest::newRow("10-digit parenthesised") << QStringLiteral("(888)342-9122") << true << false << false;
    QTest::newRow("10-digit plain beginning with 1")
        << QStringLiteral("1888342912") << true << false << false;
    QTest::newRow("plus-1 plain") << QStringLiteral("18883429122") << false << true << false;
    QTest::newRow("plus-1 spaced") << QStringLiteral("1 888 342 9122") << false << true << false;
    QTest::newRow("plus-1 with 2 for 1") << QStringLiteral("2-888-342-9122") << false << false << false;
    QTest::newRow("7-digit dotted") << QStringLiteral("342.9122") << false << false << true;
    QTest::newRow("7-digit plain") << QStringLiteral("3429122") << false << false << true;
    QTest::newRow("empty") << QString() << false << false << false;
}

void TestPhone::ruleSetsAcceptOnlyTheirOwnShapes()
{
    QFETCH(QString, text);
    QFETCH(bool, tenDigit);
    QFETCH(bool, plus1);
    QFETCH(bool, sevenDigit);
    // The rule sets ignore the options entirely.
    setOptions(*m_form, 0, 0, 0);
    const QByteArray latin1 = text.toLatin1();
    QCOMPARE(Phone::IsValid10DigitPhoneNumber(QStringView(text)), tenDigit);
    QCOMPARE(Phone::IsValid10DigitPhoneNumber(QLatin1StringView(latin1)), tenDigit);
    QCOMPARE(Phone::IsValid10DigitPhoneNumberPlus1(QStringView(text)), plus1);
    QCOMPARE(Phone::IsValid10DigitPhoneNumberPlus1(QLatin1StringView(latin1)), plus1);
    QCOMPARE(Phone::IsValid7DigitPhoneNumber(QStringView(text)), sevenDigit);
    QCOMPARE(Phone::IsValid7DigitPhoneNumber(QLatin1StringView(latin1)), sevenDigit);
}

void TestPhone::appliesOnlyTheOptionsThatAreOn_data()
{
    QTest::addColumn<int>("check1");
    QTest::addColumn<int>("check2");
    QTest::addColumn<int>("check3");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    const QString ten = QStringLiteral("888-342-9122");
    const QString plus1 = QStringLiteral("1-888-342-9122");
    const QString seven = QStringLiteral("342-9122");
    QTest::newRow("only 10-digit: 10-digit") << 1 << 0 << 0 << ten << true;
    QTest::newRow("only 10-digit: plus-1") << 1 << 0 << 0 << plus1 << false;
    QTest::newRow("only 10-digit: 7-digit") << 1 << 0 << 0 << seven << false;
    QTest::newRow("only plus-1: plus-1 plain") << 0 << 1 << 0 << QStringLiteral("18883429122") << true;
    QTest::newRow("only plus-1: 10-digit plain") << 0 << 1 << 0 << QStringLiteral("8883429122") << false;
    QTest::newRow("only 7-digit: 7-digit") << 0 << 0 << 1 << seven << true;
    QTest::newRow("only 7-digit: 10-digit") << 0 << 0 << 1 << ten << false;
    QTest::newRow("none: 10-digit") << 0 << 0 << 0 << ten << false;
    QTest::newRow("none: 7-digit") << 0 << 0 << 0 << seven << false;
    QTest::newRow("greyed 10-digit") << 2 << 0 << 0 << ten << false;
    QTest::newRow("greyed plus-1") << 0 << 2 << 0 << plus1 << false;
    QTest::newRow("greyed 7-digit") << 0 << 0 << 2 << seven << false;
    QTest::newRow("greyed 10-digit, 7-digit on") << 2 << 0 << 1 << seven << true;
    QTest::newRow("10-digit and 7-digit: plus-1") << 1 << 0 << 1 << plus1 << false;
    QTest::newRow("plus-1 and 7-digit: 7-digit") << 0 << 1 << 1 << seven << true;
}

void TestPhone::appliesOnlyTheOptionsThatAreOn()
{
    QFETCH(int, check1);
    QFETCH(int, check2);
    QFETCH(int, check3);
    QFETCH(QString, text);
    QFETCH(bool, valid);
    setOptions(*m_form, check1, check2, check3);
    compareAllStorages(text, valid);
}

void TestPhone::readsTheOptionsAtEveryCall()
{
    const QString text = QStringLiteral("342-9122");
    setOptions(*m_form, 0, 0, 1);
    QVERIFY(Phone::ValidatePhoneNumber(validationOptions(*m_form), QStringView(text)));
    Form1::SetCheckValue(m_form->Check3, 0);
    QVERIFY(!Phone::ValidatePhoneNumber(validationOptions(*m_form), QStringView(text)));
    Form1::SetCheckValue(m_form->Check3, 1);
    QVERIFY(Phone::ValidatePhoneNumber(validationOptions(*m_form), QStringView(text)));
}

void TestPhone::agreesWithReferenceOnGeneratedTexts()
{
    const Reference reference;
    const QStringList texts = generatedTexts();
    TextArena arena;
    std::vector<EntryRecord> stored;
    stored.reserve(std::size_t(texts.size()));
    qsizetype wideEntries = 0;
    for (const QString &t : texts) {
        stored.push_back(arena.store(QStringView(t)));
        wideEntries += arena.text(stored.back()).wide;
    }
    // Both storages must really be exercised.
    QVERIFY(wideEntries > 0);
    QVERIFY(wideEntries < texts.size());

    for (int options = 0; options < 8; ++options) {
        const bool on10 = options & 1, onPlus1 = options & 2, on7 = options & 4;
        setOptions(*m_form, on10, onPlus1, on7);
        // The boxes are read once, as the validation run reads them, and the
        // bits judge every kind of text.
        const unsigned optionBits = validationOptions(*m_form);
        QCOMPARE(optionBits, unsigned(options));
        qsizetype accepted = 0;
        for (qsizetype k = 0; k < texts.size(); ++k) {
            const QString &t = texts.at(k);
            const bool expected = reference.valid(t, on10, onPlus1, on7);
            accepted += expected;
            bool agrees = Phone::ValidatePhoneNumber(optionBits, QStringView(t)) == expected
                && Phone::ValidatePhoneNumber(optionBits, arena.text(stored[std::size_t(k)])) == expected
                && ((Phone::RuleSetOf(arena.text(stored[std::size_t(k)])) & optionBits) != 0) == expected;
            if (fitsLatin1(t)) {
                const QByteArray bytes = t.toLatin1();
                agrees =
                    agrees && Phone::ValidatePhoneNumber(optionBits, QLatin1StringView(bytes)) == expected;
            }
            if (!agrees)
                QFAIL(qPrintable(
                    visible(t) + QStringLiteral(" with options %1 should be %2").arg(options).arg(expected)));
        }
        // The generated texts hold valid shapes for every enabled option.
        if (options != 0)
            QVERIFY(accepted > 100);
        else
            QCOMPARE(accepted, 0);
    }
}

void TestPhone::ruleSetsAgreeWithReferenceOnGeneratedTexts()
{
    const Reference reference;
    for (const QString &t : generatedTexts()) {
        const bool tenDigit = acceptedBy(t, reference.tenDigit);
        const bool plus1 = acceptedBy(t, reference.plus1);
        const bool sevenDigit = acceptedBy(t, reference.sevenDigit);
        bool agrees = Phone::IsValid10DigitPhoneNumber(QStringView(t)) == tenDigit
            && Phone::IsValid10DigitPhoneNumberPlus1(QStringView(t)) == plus1
            && Phone::IsValid7DigitPhoneNumber(QStringView(t)) == sevenDigit;
        if (fitsLatin1(t)) {
            const QByteArray b = t.toLatin1();
            agrees = agrees && Phone::IsValid10DigitPhoneNumber(QLatin1StringView(b)) == tenDigit
                && Phone::IsValid10DigitPhoneNumberPlus1(QLatin1StringView(b)) == plus1
                && Phone::IsValid7DigitPhoneNumber(QLatin1StringView(b)) == sevenDigit;
        }
        if (!agrees)
            QFAIL(qPrintable(visible(t)));
    }
}

QTEST_MAIN(TestPhone)
#include "tst_phone.moc"
