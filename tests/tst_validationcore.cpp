// The judging of a validation run without the window: bare lists, the options
// as bits and a step hook. Links the cores alone.

#include "platform/fakeplatform.h"
#include "platform/procedures.h"
#include "platform/workers.h"
#include "validation/validationrun.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

#include <memory>
#include <utility>

namespace {

const QString kTen = QStringLiteral("888-342-9122");
const QString kPlus1 = QStringLiteral("1 888 342 9122");
const QString kSeven = QStringLiteral("342.9122");
const QString kWide = QStringLiteral(u"342-9122 \u2713");

QStringList textsOf(const NumberListModel &model)
{
    QStringList texts;
    for (qsizetype row = 0; row < model.count(); ++row)
        texts.append(model.textString(row));
    return texts;
}

// Entry k of a mixed list: numbers of every accepted shape, near misses,
// texts beyond Latin-1 and texts too short or too long for any shape.
QString mixedEntry(int k)
{
    static const char16_t *const shapes[] = {
        u"dddddddddd",       u"ddd ddd dddd",   u"ddd.ddd.dddd",    u"ddd-ddd-dddd",
        u"(ddd)ddd-dddd",    u"(ddd) ddd-dddd", u"1dddddddddd",     u"1 ddd ddd dddd",
        u"1.ddd.ddd.dddd",   u"1-ddd-ddd-dddd", u"ddddddd",         u"ddd dddd",
        u"ddd.dddd",         u"ddd-dddd",       u"ddd-ddd.dddd",    u"2dddddddddd",
        u"(ddd)-ddd-dddd",   u"dddddd",         u"ddd_dddd",        u"ddd-dddd\n",
        u"ddd\u2013dddd",    u"\uff13dd-dddd",  u"ddd-dddd \u2713", u"",
        u"dddddddddddddddd",
    };
    const int shapeCount = int(std::size(shapes));
    QString text = QString::fromUtf16(shapes[k % shapeCount]);
    int seed = k;
    for (QChar &c : text) {
        if (c == u'd') {
            c = QChar(u'0' + seed % 10);
            seed = seed / 10 + 7;
        }
    }
    return text;
}

struct Step
{
    int step;
    qsizetype entry;
    bool operator==(const Step &) const = default;
};

} // namespace

namespace QTest {
template<>
char *toString(const Step &s)
{
    return qstrdup(QByteArray::number(s.step) + '@' + QByteArray::number(s.entry));
}
} // namespace QTest

class TestValidationCore : public QObject
{
    Q_OBJECT

private:
    // The three lists of a run, sharing one store as the window's do.
    std::shared_ptr<TextArena> m_arena;
    std::unique_ptr<NumberListModel> m_input, m_valid, m_invalid;
    std::unique_ptr<FakePlatform> m_platform;
    int m_threads = 1; // restored after each test

    Validation::RunLists lists() const { return {*m_input, *m_valid, *m_invalid}; }

    template<typename... StepHook>
    void judge(const QStringList &input, unsigned options, StepHook &&...atStep)
    {
        for (const QString &t : input)
            m_input->append(QStringView(t));
        Guarded proc(*m_platform, Procedure::PushButton17_Click);
        Validation::judgeEntries(proc, lists(), options, std::forward<StepHook>(atStep)...);
    }

private slots:
    void init()
    {
        m_threads = Workers::count();
        m_arena = std::make_shared<TextArena>();
        m_input = std::make_unique<NumberListModel>(m_arena);
        m_valid = std::make_unique<NumberListModel>(m_arena);
        m_invalid = std::make_unique<NumberListModel>(m_arena);
        m_platform = std::make_unique<FakePlatform>();
    }
    void cleanup()
    {
        Workers::setCount(m_threads);
        m_valid.reset();
        m_invalid.reset();
        m_input.reset();
        m_arena.reset();
        m_platform.reset();
    }

    void sortsLikeTheShapesOnOneAndTwoThreads_data();
    void sortsLikeTheShapesOnOneAndTwoThreads();
    void sortsUnderTheOptionBits_data();
    void sortsUnderTheOptionBits();
    void hookSeesEveryStepOfEveryEntryInOrder();
    void entryGoneSinceTheCountIsReportedAndSkipped();
    void appendsToWhatTheListsHold();
};

void TestValidationCore::sortsLikeTheShapesOnOneAndTwoThreads_data()
{
    QTest::addColumn<int>("threads");
    QTest::addColumn<int>("entries");
    QTest::addColumn<unsigned>("options");
    // Sizes around the share of entries the threads take at a time, and
    // across several of them.
    QTest::addColumn<QString>("results");
    const int sizes[] = {0, 1, 2, 7, 3001, 4096, 4097, 8192, 12289, 100003};
    for (int threads : {1, 2}) {
        for (int entries : sizes) {
            for (unsigned options = 0; options < 8; ++options)
                QTest::addRow("%d threads, %d entries, options %u", threads, entries, options)
                    << threads << entries << options << QStringLiteral("empty");
        }
        // Result lists that already hold entries, keep their texts in a store
        // of their own, or are still read by a snapshot.
        for (const char *results : {"holding entries", "own store", "snapshot held"}) {
            for (int entries : {4097, 12289})
                QTest::addRow("%d threads, %d entries, %s", threads, entries, results)
                    << threads << entries << 5u << QString::fromLatin1(results);
        }
    }
}

void TestValidationCore::sortsLikeTheShapesOnOneAndTwoThreads()
{
    QFETCH(int, threads);
    QFETCH(int, entries);
    QFETCH(unsigned, options);
    QFETCH(QString, results);
    // The accepted shapes as patterns, one per option: ASCII digits only, one
    // separator repeated, nothing before or after.
    const QRegularExpression tenDigit(QRegularExpression::anchoredPattern(
        QStringLiteral(R"([0-9]{10}|[0-9]{3}([ .\-])[0-9]{3}\1[0-9]{4}|\([0-9]{3}\) ?[0-9]{3}-[0-9]{4})")));
    const QRegularExpression plus1(QRegularExpression::anchoredPattern(
        QStringLiteral(R"(1(?:[0-9]{10}|([ .\-])[0-9]{3}\1[0-9]{3}\1[0-9]{4}))")));
    const QRegularExpression sevenDigit(
        QRegularExpression::anchoredPattern(QStringLiteral(R"([0-9]{3}[ .\-]?[0-9]{4})")));

    QStringList input, valid, invalid;
    for (int k = 0; k < entries; ++k) {
        const QString text = mixedEntry(k);
        input.append(text);
        const bool accepted = ((options & Phone::kTenDigitOption) && tenDigit.match(text).hasMatch())
            || ((options & Phone::kTenDigitPlus1Option) && plus1.match(text).hasMatch())
            || ((options & Phone::kSevenDigitOption) && sevenDigit.match(text).hasMatch());
        (accepted ? valid : invalid).append(text);
    }
    {
        NumberListModel::Batch batch(*m_input);
        for (const QString &t : std::as_const(input))
            m_input->append(QStringView(t));
    }

    QStringList earlierValid, earlierInvalid;
    if (results == QLatin1String("own store")) {
        const auto store = std::make_shared<TextArena>();
        m_valid = std::make_unique<NumberListModel>(store);
        m_invalid = std::make_unique<NumberListModel>(store);
    } else if (results != QLatin1String("empty")) {
        earlierValid = QStringList{QStringLiteral("earlier valid")};
        earlierInvalid = QStringList{QStringLiteral("earlier invalid")};
        m_valid->append(QStringView(earlierValid[0]));
        m_invalid->append(QStringView(earlierInvalid[0]));
    }
    NumberListSnapshot validBefore, invalidBefore;
    if (results == QLatin1String("snapshot held")) {
        validBefore = m_valid->snapshot();
        invalidBefore = m_invalid->snapshot();
    }

    Workers::setCount(threads);
    QSignalSpy validRows(m_valid.get(), &QAbstractItemModel::rowsInserted);
    QSignalSpy invalidRows(m_invalid.get(), &QAbstractItemModel::rowsInserted);
    Guarded proc(*m_platform, Procedure::PushButton17_Click);
    Validation::judgeEntries(proc, lists(), options);

    QCOMPARE(textsOf(*m_valid), earlierValid + valid);
    QCOMPARE(textsOf(*m_invalid), earlierInvalid + invalid);
    QCOMPARE(textsOf(*m_input), input);
    QVERIFY(m_platform->messages.isEmpty());
    if (results == QLatin1String("snapshot held")) {
        QCOMPARE(validBefore.count(), 1);
        QCOMPARE(validBefore.text(0).toString(), earlierValid[0]);
        QCOMPARE(invalidBefore.count(), 1);
        QCOMPARE(invalidBefore.text(0).toString(), earlierInvalid[0]);
    }
    // Each list hears of all its new entries at once, or of none when it has none.
    const int earlier = int(earlierValid.size());
    for (const auto &[spy, expected] : {std::pair{&validRows, &valid}, std::pair{&invalidRows, &invalid}}) {
        QCOMPARE(spy->count(), expected->isEmpty() ? 0 : 1);
        if (!expected->isEmpty()) {
            QCOMPARE(spy->at(0).at(1).toInt(), earlier);
            QCOMPARE(spy->at(0).at(2).toInt(), earlier + int(expected->size()) - 1);
        }
    }
}

void TestValidationCore::sortsUnderTheOptionBits_data()
{
    QTest::addColumn<unsigned>("options");
    QTest::addColumn<QStringList>("valid");
    QTest::addColumn<QStringList>("invalid");
    // Input: a 10-digit, a plus-1 and a 7-digit number, one beyond Latin-1, "abc".
    const QString abc = QStringLiteral("abc");
    QTest::newRow("none") << 0u << QStringList() << QStringList{kTen, kPlus1, kSeven, kWide, abc};
    QTest::newRow("10-digit") << unsigned(Phone::kTenDigitOption) << QStringList{kTen}
                              << QStringList{kPlus1, kSeven, kWide, abc};
    QTest::newRow("plus-1") << unsigned(Phone::kTenDigitPlus1Option) << QStringList{kPlus1}
                            << QStringList{kTen, kSeven, kWide, abc};
    QTest::newRow("7-digit") << unsigned(Phone::kSevenDigitOption) << QStringList{kSeven}
                             << QStringList{kTen, kPlus1, kWide, abc};
    QTest::newRow("10-digit and 7-digit") << unsigned(Phone::kTenDigitOption | Phone::kSevenDigitOption)
                                          << QStringList{kTen, kSeven} << QStringList{kPlus1, kWide, abc};
    QTest::newRow("all") << 7u << QStringList{kTen, kPlus1, kSeven} << QStringList{kWide, abc};
}

void TestValidationCore::sortsUnderTheOptionBits()
{
    QFETCH(unsigned, options);
    QFETCH(QStringList, valid);
    QFETCH(QStringList, invalid);
    judge({kTen, kPlus1, kSeven, kWide, QStringLiteral("abc")}, options);
    QCOMPARE(textsOf(*m_valid), valid);
    QCOMPARE(textsOf(*m_invalid), invalid);
    QCOMPARE(m_input->count(), 5);
    QVERIFY(m_platform->messages.isEmpty());
}

void TestValidationCore::hookSeesEveryStepOfEveryEntryInOrder()
{
    QList<Step> steps;
    judge({kTen, QStringLiteral("x"), kSeven}, unsigned(Phone::kTenDigitOption),
          [&](int step, qsizetype entry) {
              steps.append({step, entry});
          });
    const QList<Step> expected{{106, 1}, {108, 1}, {110, 1}, {114, 1}, //
                               {106, 2}, {108, 2}, {112, 2}, {114, 2}, //
                               {106, 3}, {108, 3}, {112, 3}, {114, 3}};
    QCOMPARE(steps, expected);
    QCOMPARE(textsOf(*m_valid), QStringList{kTen});
    QCOMPARE(textsOf(*m_invalid), (QStringList{QStringLiteral("x"), kSeven}));
}

void TestValidationCore::entryGoneSinceTheCountIsReportedAndSkipped()
{
    // The last entry goes while the first is judged: the count read at step
    // 104 is stale by then.
    judge({kTen, QStringLiteral("x"), kSeven, kPlus1}, 7u, [&](int step, qsizetype entry) {
        if (step == 108 && entry == 1)
            m_input->remove(3);
    });
    QCOMPARE(m_platform->messages.size(), 1);
    QCOMPARE(m_platform->messages[0].text,
             ErrorReportText(QStringLiteral("Index out of bounds"), Procedure::PushButton17_Click, 106));
    QCOMPARE(textsOf(*m_valid), (QStringList{kTen, kSeven}));
    QCOMPARE(textsOf(*m_invalid), QStringList{QStringLiteral("x")});
}

void TestValidationCore::appendsToWhatTheListsHold()
{
    // Emptying the result lists is the window's step, not the judging's.
    m_valid->append(QStringView(u"earlier valid"));
    m_invalid->append(QStringView(u"earlier invalid"));
    judge({kSeven, kTen}, unsigned(Phone::kSevenDigitOption));
    QCOMPARE(textsOf(*m_valid), (QStringList{QStringLiteral("earlier valid"), kSeven}));
    QCOMPARE(textsOf(*m_invalid), (QStringList{QStringLiteral("earlier invalid"), kTen}));
}

QTEST_GUILESS_MAIN(TestValidationCore)
#include "tst_validationcore.moc"
