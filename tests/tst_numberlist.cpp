#include "app/list/listview.h"
#include "platform/failure.h"

#include <QAbstractItemModelTester>
#include <QHeaderView>
#include <QMouseEvent>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <functional>
#include <optional>
#include <vector>

#include <malloc.h>
#include <unistd.h>

namespace {

QString repeated(QStringView piece, qsizetype times)
{
    QString s;
    s.reserve(piece.size() * times);
    for (qsizetype i = 0; i < times; ++i)
        s += piece;
    return s;
}

QString numbered(int i)
{
    return QStringLiteral("555-%1").arg(i, 7, 10, QLatin1Char('0'));
}

// A list with one column and `count` numbered entries, shown on screen.
void fill(ListView &view, int count)
{
    if (view.ColumnHeaders.Count() == 0) {
        view.ColumnHeaders.Add(QStringLiteral("Phone Numbers"));
        view.ColumnHeaders.Item(1).SetWidth(7000);
    }
    NumberListModel *model = view.listModel();
    model->beginBatch();
    for (int i = 1; i <= count; ++i)
        model->append(QStringView(numbered(i)));
    model->endBatch();
}

// AddressSanitizer keeps freed memory in quarantine and never hands it back,
// so the process's resident memory then says nothing about the lists.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kUnderAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kUnderAddressSanitizer = true;
#else
constexpr bool kUnderAddressSanitizer = false;
#endif
#else
constexpr bool kUnderAddressSanitizer = false;
#endif

// Resident memory of the whole process, from the kernel's own count.
std::size_t residentBytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? std::size_t(fields[1].toULongLong()) * std::size_t(::sysconf(_SC_PAGESIZE))
                             : 0;
}

// A generated import: `valid` phone numbers spread evenly among `invalid`
// longer texts. Entry i is a pure function of i, so the expected lists are
// lists of indices and the texts are made afresh to compare.
struct Import
{
    qsizetype invalid = 0;
    qsizetype valid = 0;
    int invalidLength = 0;

    qsizetype total() const { return invalid + valid; }
    qsizetype stride() const { return total() / valid; }
    bool isValid(qsizetype i) const { return i % stride() == stride() / 2 && i / stride() < valid; }
    bool checked(qsizetype i) const { return i % 7 != 3; }
    QString text(qsizetype i) const
    {
        if (isValid(i)) {
            const QString number = QStringLiteral("555-%1").arg(i % 10'000'000, 7, 10, QLatin1Char('0'));
            // Every fourth number carries a sign outside Latin-1, kept as UTF-16.
            return (i / stride()) % 4 == 1 ? QStringLiteral(u"\u260e ") + number : number;
        }
        return QStringLiteral("x%1;").arg(i).leftJustified(invalidLength, QLatin1Char('#'));
    }
};

// The bytes a text needs at the least: one a character when every character
// is Latin-1, two otherwise.
std::size_t textBytes(const QString &s)
{
    const bool latin1 = std::all_of(s.cbegin(), s.cend(), [](QChar c) { return c.unicode() <= 0xff; });
    return std::size_t(s.size()) * (latin1 ? 1 : 2);
}

} // namespace

class TestNumberList : public QObject
{
    Q_OBJECT

private slots:
    // Storage and model.
    void keepsTextExactly_data();
    void keepsTextExactly();
    void keepsDuplicates();
    void newEntriesAreChecked();
    void removingEntryMovesLaterEntriesUp();
    void clearReleasesChunks();
    void memoryFollowsWhatListsKeep_data();
    void memoryFollowsWhatListsKeep();
    void snapshotIsUnaffectedByLaterChanges();
    void copyWithinArenaSharesCharacters();
    void copyAcrossArenasKeepsText();
    void modelKeepsItsContract();
    void batchIsAnnouncedOnce();
    void positionsOutsideTheListFail_data();
    void positionsOutsideTheListFail();
    void subItemPositionZeroFails();

    // View.
    void columnWidthIsSetInTwips();
    void columnKeepsItsWidthAfterClear();
    void headerSitsAboveRowsAndScrollsWithThem();
    void keysEmitKeyDown_data();
    void keysEmitKeyDown();
    void doubleClickSelectsRowAndEmitsDblClick();
    void doubleClickOnEmptySpaceRemovesNothing();
    void doubleClickWithModifiersActsOnEntry_data();
    void doubleClickWithModifiersActsOnEntry();
    void arrowKeysMoveCurrentEntry();
    void pageKeysKeepCurrentEntryVisible();
    void selectedItemEmptyOnFreshList();
    void removalKeepsSelectionInRange();
    void mouseMoveIsReported();
    void typingFindsEntry();
    void tenMillionEntriesScrollToTheEnd();
};

void TestNumberList::keepsTextExactly_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << QString();
    QTest::newRow("spaces only") << QStringLiteral("   ");
    QTest::newRow("leading and trailing spaces") << QStringLiteral("  888-342-9122 ");
    QTest::newRow("tab") << QStringLiteral("888\t342");
    QTest::newRow("Latin-1 accents") << QStringLiteral(u"Caf\u00e9 No\u00ebl \u00ff\u00a0");
    QTest::newRow("CJK") << QStringLiteral(u"\u96fb\u8a71\u756a\u53f7 888");
    QTest::newRow("emoji surrogate pair") << QStringLiteral(u"\u260e \U0001F4DE 555");
    QTest::newRow("longer than 1 MiB") << repeated(u"0123456789", 120'000);
    QTest::newRow("wide, longer than 1 MiB") << repeated(u"\u96fb\u8a71", 300'000);
}

void TestNumberList::keepsTextExactly()
{
    QFETCH(QString, text);
    ListView view;
    view.ColumnHeaders.Add(QStringLiteral("Phone Numbers"));
    // Neighbours of odd length and both kinds check that nothing overlaps.
    view.ListItems.Add(QStringLiteral("x"));
    view.ListItems.Add(text);
    view.ListItems.Add(QStringLiteral(u"\u00e9y"));
    view.ListItems.Add(text);
    view.ListItems.Add(QStringLiteral(u"\u0416"));
    QCOMPARE(view.ListItems.Count(), 5);
    QCOMPARE(view.ListItems.Item(1).Text(), QStringLiteral("x"));
    QCOMPARE(view.ListItems.Item(2).Text(), text);
    QCOMPARE(view.ListItems.Item(3).Text(), QStringLiteral(u"\u00e9y"));
    QCOMPARE(view.ListItems.Item(4).Text(), text);
    QCOMPARE(view.ListItems.Item(5).Text(), QStringLiteral(u"\u0416"));
    QCOMPARE(view.listModel()->data(view.listModel()->index(1, 0)).toString(), text);
    QCOMPARE(view.listModel()->snapshot().text(3).toString(), text);
}

void TestNumberList::keepsDuplicates()
{
    ListView view;
    view.ListItems.Add(QStringLiteral("342-9122"));
    view.ListItems.Add(QStringLiteral("342-9122"));
    QCOMPARE(view.ListItems.Count(), 2);
    QCOMPARE(view.ListItems.Item(1).Text(), QStringLiteral("342-9122"));
    QCOMPARE(view.ListItems.Item(2).Text(), QStringLiteral("342-9122"));
}

void TestNumberList::newEntriesAreChecked()
{
    ListView view;
    const ListItem item = view.ListItems.Add(QStringLiteral("342-9122"));
    QCOMPARE(item.Index(), 1);
    QVERIFY(view.ListItems.Item(1).Checked());
    view.ListItems.Item(1).SetChecked(false);
    QVERIFY(!view.ListItems.Item(1).Checked());
    QCOMPARE(view.ListItems.Item(1).Text(), QStringLiteral("342-9122"));
}

void TestNumberList::removingEntryMovesLaterEntriesUp()
{
    ListView view;
    view.ListItems.Add(QStringLiteral("first"));
    view.ListItems.Add(QStringLiteral("second"));
    view.ListItems.Add(QStringLiteral("third"));
    view.ListItems.Remove(2);
    QCOMPARE(view.ListItems.Count(), 2);
    QCOMPARE(view.ListItems.Item(1).Text(), QStringLiteral("first"));
    QCOMPARE(view.ListItems.Item(2).Text(), QStringLiteral("third"));
}

void TestNumberList::clearReleasesChunks()
{
    auto arena = std::make_shared<TextArena>();
    ListView view(arena);
    fill(view, 300'000); // several chunks of text
    QVERIFY(arena->bytesAllocated() > 2 * 1024 * 1024);
    view.ListItems.Clear();
    QCOMPARE(view.ListItems.Count(), 0);
    QCOMPARE(arena->bytesAllocated(), std::size_t(0));
    QCOMPARE(arena->liveChunks(), std::size_t(0));

    // Removing entries one by one gives the memory back as well.
    fill(view, 3);
    QVERIFY(arena->bytesAllocated() > 0);
    while (view.ListItems.Count() > 0)
        view.ListItems.Remove(1);
    QCOMPARE(arena->bytesAllocated(), std::size_t(0));
}

void TestNumberList::memoryFollowsWhatListsKeep_data()
{
    QTest::addColumn<qsizetype>("invalid");
    QTest::addColumn<qsizetype>("valid");
    QTest::addColumn<int>("invalidLength");
    QTest::addColumn<QString>("steps");
    QTest::addColumn<bool>("resident"); // also measure the process's resident memory

    QTest::newRow("clear input, then invalid")
        << qsizetype(400'000) << qsizetype(200) << 40
        << QStringLiteral("import validate clear-input clear-invalid") << false;
    QTest::newRow("clear invalid, then input")
        << qsizetype(400'000) << qsizetype(200) << 40
        << QStringLiteral("import validate clear-invalid clear-input") << false;
    QTest::newRow("valid ones shared by input and results")
        << qsizetype(400'000) << qsizetype(2'000) << 40
        << QStringLiteral("import validate clear-invalid remove-invalid-from-input clear-valid") << false;
    QTest::newRow("invalid removed one by one")
        << qsizetype(600'000) << qsizetype(300) << 60
        << QStringLiteral("import validate clear-input remove-invalid") << false;
    QTest::newRow("invalid removed from the input")
        << qsizetype(150'000) << qsizetype(300) << 60 << QStringLiteral("import remove-invalid-from-input")
        << false;
    QTest::newRow("snapshot of the invalid list held across the clears")
        << qsizetype(400'000) << qsizetype(200) << 40
        << QStringLiteral("import validate snapshot-invalid clear-input clear-invalid drop-snapshot")
        << false;
    QTest::newRow("snapshot of the valid list held across the clears")
        << qsizetype(400'000) << qsizetype(200) << 40
        << QStringLiteral("import validate snapshot-valid clear-input clear-invalid drop-snapshot") << false;
    QTest::newRow("snapshot dropped, then list cleared")
        << qsizetype(400'000) << qsizetype(200) << 40
        << QStringLiteral("import validate clear-input snapshot-invalid drop-snapshot clear-invalid")
        << false;
    QTest::newRow("validated twice after clearing")
        << qsizetype(400'000) << qsizetype(200) << 40
        << QStringLiteral("import validate clear-invalid validate "
                          "clear-input clear-invalid import validate")
        << false;
    QTest::newRow("large: resident memory follows")
        << qsizetype(1'500'000) << qsizetype(200) << 48
        << QStringLiteral("import validate clear-input clear-invalid") << true;
}

// After every command the text chunks and records stay within twice the
// texts the lists keep plus 8 bytes an entry, plus a constant, and every entry
// left reads as it was written.
void TestNumberList::memoryFollowsWhatListsKeep()
{
    QFETCH(qsizetype, invalid);
    QFETCH(qsizetype, valid);
    QFETCH(int, invalidLength);
    QFETCH(QString, steps);
    QFETCH(bool, resident);
    if (resident && kUnderAddressSanitizer)
        QSKIP(
            "AddressSanitizer keeps freed memory for itself: resident memory is measured in the normal build");
    const Import source{invalid, valid, invalidLength};
    constexpr std::size_t kConstant = std::size_t(4) << 20;
    if (resident)
        ::malloc_trim(0);
    const std::size_t residentBefore = resident ? residentBytes() : 0;

    auto arena = std::make_shared<TextArena>();
    NumberListModel input(arena), validList(arena), invalidList(arena);
    struct Expected
    {
        NumberListModel *model;
        std::vector<qsizetype> entries; // indices into the import
        bool copiedFromInput = false;   // validated from the input as it is now
    };
    Expected lists[] = {{&input, {}}, {&validList, {}}, {&invalidList, {}}};
    Expected &in = lists[0], &ok = lists[1], &bad = lists[2];
    std::optional<NumberListSnapshot> snapshot;
    std::vector<qsizetype> snapshotEntries;
    std::vector<EntryText> snapshotTexts; // read through the same bytes while the snapshot lives
    std::vector<std::uint8_t> bytesOf;    // textBytes() of each generated entry, worked out once

    // Every entry of a short list, a sample of a long one (the survivors are few).
    auto sampled = [](qsizetype n) { return n <= 20'000 ? qsizetype(1) : n / 1'000; };
    auto verifyLists = [&] {
        for (const Expected &list : lists) {
            const qsizetype n = qsizetype(list.entries.size());
            QCOMPARE(list.model->count(), n);
            for (qsizetype row = 0; row < n; row += sampled(n)) {
                const qsizetype i = list.entries[std::size_t(row)];
                QCOMPARE(list.model->text(row).toString(), source.text(i));
                QCOMPARE(list.model->checked(row), source.checked(i));
                // A result copied from the input still shares its characters,
                // however often they moved. The input keeps import order.
                const auto atInput = std::lower_bound(in.entries.cbegin(), in.entries.cend(), i);
                if (list.copiedFromInput && atInput != in.entries.cend() && *atInput == i)
                    QCOMPARE(static_cast<const void *>(list.model->text(row).data),
                             static_cast<const void *>(input.text(atInput - in.entries.cbegin()).data));
            }
            if (n > 0)
                QCOMPARE(list.model->text(n - 1).toString(), source.text(list.entries.back()));
        }
        if (snapshot) {
            const qsizetype n = qsizetype(snapshotEntries.size());
            QCOMPARE(snapshot->count(), n);
            for (qsizetype row = 0; row < n; row += sampled(n))
                QCOMPARE(snapshot->text(row).toString(), source.text(snapshotEntries[std::size_t(row)]));
            for (std::size_t k = 0; k < snapshotTexts.size(); ++k) {
                const EntryText &t = snapshotTexts[k];
                const QString before = t.wide ? t.utf16().toString() : QString(t.latin1());
                QCOMPARE(before, source.text(snapshotEntries[k * std::size_t(sampled(n))]));
            }
        }
    };
    auto verifyMemory = [&](const QString &after) {
        std::size_t keptTexts = 0, keptEntries = 0, records = 0;
        for (const Expected &list : lists) {
            for (qsizetype i : list.entries)
                keptTexts += bytesOf[std::size_t(i)];
            keptEntries += list.entries.size();
            records += std::size_t(list.model->capacity()) * sizeof(EntryRecord);
        }
        const std::size_t bound = 2 * keptTexts + 8 * keptEntries + kConstant;
        const std::size_t held = arena->bytesAllocated() + records;
        if (held > bound)
            QFAIL(qPrintable(QStringLiteral("after %1: %2 bytes held for %3 bytes of texts in %4 entries")
                                 .arg(after)
                                 .arg(held)
                                 .arg(keptTexts)
                                 .arg(keptEntries)));
        if (resident) {
            // The kernel's count, independent of the store's own: the chunks
            // given up really went back.
            // Room the C library keeps free for its next allocations is not
            // held by the lists: hand it back before counting.
            ::malloc_trim(0);
            const std::size_t grown = residentBytes() - std::min(residentBytes(), residentBefore);
            if (grown > bound + kConstant)
                QFAIL(qPrintable(
                    QStringLiteral("after %1: resident memory grew by %2 bytes for %3 bytes of texts")
                        .arg(after)
                        .arg(grown)
                        .arg(keptTexts)));
        }
    };

    for (const QString &step : steps.split(QLatin1Char(' '))) {
        if (step == QLatin1String("import")) {
            const NumberListModel::Batch batch(input);
            ok.copiedFromInput = bad.copiedFromInput = false;
            bytesOf.resize(std::size_t(source.total()));
            for (qsizetype i = 0; i < source.total(); ++i) {
                const QString text = source.text(i);
                bytesOf[std::size_t(i)] = std::uint8_t(textBytes(text));
                input.append(QStringView(text));
                if (!source.checked(i))
                    input.setChecked(input.count() - 1, false);
                in.entries.push_back(i);
            }
        } else if (step == QLatin1String("validate")) {
            // As the run does: records copied, never characters.
            validList.clear();
            invalidList.clear();
            ok.entries = std::vector<qsizetype>();
            bad.entries = std::vector<qsizetype>();
            ok.copiedFromInput = bad.copiedFromInput = true;
            const NumberListModel::Batch batchValid(validList);
            const NumberListModel::Batch batchInvalid(invalidList);
            for (qsizetype row = 0; row < input.count(); ++row) {
                const qsizetype i = in.entries[std::size_t(row)];
                Expected &to = source.isValid(i) ? ok : bad;
                to.model->appendFrom(input, row);
                to.entries.push_back(i);
            }
        } else if (step.startsWith(QLatin1String("clear-"))) {
            Expected &list = step == QLatin1String("clear-input") ? in
                : step == QLatin1String("clear-valid")            ? ok
                                                                  : bad;
            list.model->clear();
            list.entries = std::vector<qsizetype>(); // gives its room back
        } else if (step == QLatin1String("remove-invalid")) {
            while (bad.model->count() > 0) {
                bad.model->remove(bad.model->count() - 1);
                bad.entries.pop_back();
            }
        } else if (step == QLatin1String("remove-invalid-from-input")) {
            for (qsizetype row = input.count() - 1; row >= 0; --row) {
                if (!source.isValid(in.entries[std::size_t(row)])) {
                    input.remove(row);
                    in.entries.erase(in.entries.begin() + row);
                }
            }
        } else if (step.startsWith(QLatin1String("snapshot-"))) {
            const Expected &list = step == QLatin1String("snapshot-valid") ? ok : bad;
            snapshot = list.model->snapshot();
            snapshotEntries = list.entries;
            for (qsizetype row = 0; row < snapshot->count(); row += sampled(snapshot->count()))
                snapshotTexts.push_back(snapshot->text(row));
        } else if (step == QLatin1String("drop-snapshot")) {
            snapshot.reset();
            snapshotEntries = std::vector<qsizetype>();
            snapshotTexts.clear();
        } else {
            QFAIL(qPrintable(QStringLiteral("unknown step ") + step));
        }
        verifyLists();
        // An export's snapshot keeps the chunks it reads until it ends.
        if (!snapshot)
            verifyMemory(step);
    }
}

void TestNumberList::snapshotIsUnaffectedByLaterChanges()
{
    auto arena = std::make_shared<TextArena>();
    ListView view(arena);
    view.ColumnHeaders.Add(QStringLiteral(" Valid Numbers"));
    view.ListItems.Add(QStringLiteral("a"));
    view.ListItems.Add(QStringLiteral("b"));
    view.ListItems.Add(QStringLiteral("c"));
    const NumberListSnapshot snapshot = view.listModel()->snapshot();
    auto unchanged = [&] {
        QCOMPARE(snapshot.count(), 3);
        QCOMPARE(snapshot.columnTitle(0), QStringLiteral(" Valid Numbers"));
        QCOMPARE(snapshot.text(0).toString(), QStringLiteral("a"));
        QCOMPARE(snapshot.text(1).toString(), QStringLiteral("b"));
        QCOMPARE(snapshot.text(2).toString(), QStringLiteral("c"));
        QVERIFY(snapshot.checked(2));
    };

    view.ListItems.Remove(1);
    unchanged();
    view.ListItems.Clear();
    unchanged();
    view.ListItems.Add(QStringLiteral("d"));
    unchanged();
    QCOMPARE(view.ListItems.Count(), 1);
    QCOMPARE(view.ListItems.Item(1).Text(), QStringLiteral("d"));
}

void TestNumberList::copyWithinArenaSharesCharacters()
{
    auto arena = std::make_shared<TextArena>();
    ListView input(arena);
    ListView results(arena);
    fill(input, 50'000);
    input.ListItems.Add(QStringLiteral(u"\U0001F4DE wide"));
    const std::size_t before = arena->bytesAllocated();
    NumberListModel *out = results.listModel();
    out->beginBatch();
    for (qsizetype row = 0; row < input.ListItems.Count(); ++row)
        out->appendFrom(*input.listModel(), row);
    out->endBatch();
    QCOMPARE(arena->bytesAllocated(), before);
    QCOMPARE(results.ListItems.Count(), input.ListItems.Count());
    QCOMPARE(results.ListItems.Item(1).Text(), numbered(1));
    QCOMPARE(results.ListItems.Item(50'000).Text(), numbered(50'000));
    QCOMPARE(results.ListItems.Item(50'001).Text(), QStringLiteral(u"\U0001F4DE wide"));

    // The input may go away: the results still hold their texts.
    input.ListItems.Clear();
    QCOMPARE(results.ListItems.Item(50'000).Text(), numbered(50'000));
    QCOMPARE(arena->bytesAllocated(), before);
}

void TestNumberList::copyAcrossArenasKeepsText()
{
    ListView input;
    ListView results; // an arena of its own
    input.ListItems.Add(QStringLiteral(u"caf\u00e9"));
    input.ListItems.Add(QStringLiteral(u"\u96fb\u8a71"));
    input.ListItems.Add(QString());
    for (qsizetype row = 0; row < 3; ++row)
        results.listModel()->appendFrom(*input.listModel(), row);
    input.ListItems.Clear();
    QCOMPARE(results.ListItems.Item(1).Text(), QStringLiteral(u"caf\u00e9"));
    QCOMPARE(results.ListItems.Item(2).Text(), QStringLiteral(u"\u96fb\u8a71"));
    QCOMPARE(results.ListItems.Item(3).Text(), QString());
}

void TestNumberList::modelKeepsItsContract()
{
    NumberListModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.addColumn(QStringLiteral("Phone Numbers"));
    model.append(QStringView(u"one"));
    model.append(QLatin1StringView("two"));
    model.beginBatch();
    for (int i = 0; i < 1000; ++i)
        model.append(QStringView(numbered(i)));
    model.endBatch();
    QCOMPARE(model.rowCount(), 1002);
    model.remove(0);
    model.remove(500);
    model.remove(model.count() - 1);
    QCOMPARE(model.rowCount(), 999);
    model.addColumn(QStringLiteral("Second"));
    model.setSubItem(3, 1, QStringLiteral("sub"));
    QCOMPARE(model.data(model.index(3, 1)).toString(), QStringLiteral("sub"));
    model.clear();
    QCOMPARE(model.rowCount(), 0);
    model.append(QStringView(u"after clear"));
    QCOMPARE(model.rowCount(), 1);
}

void TestNumberList::batchIsAnnouncedOnce()
{
    NumberListModel model;
    model.addColumn(QStringLiteral("Phone Numbers"));
    model.append(QStringView(u"before"));
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    model.beginBatch();
    for (int i = 0; i < 100'000; ++i)
        model.append(QStringView(numbered(i)));
    QCOMPARE(inserted.count(), 0);
    QCOMPARE(model.rowCount(), 1); // views see the batch only when it ends
    model.endBatch();
    QCOMPARE(inserted.count(), 1);
    QCOMPARE(inserted[0][1].toInt(), 1);
    QCOMPARE(inserted[0][2].toInt(), 100'000);
    QCOMPARE(model.rowCount(), 100'001);
}

void TestNumberList::positionsOutsideTheListFail_data()
{
    QTest::addColumn<int>("entries");
    QTest::addColumn<int>("position");
    QTest::addColumn<bool>("remove");
    QTest::newRow("item 0") << 3 << 0 << false;
    QTest::newRow("item count + 1") << 3 << 4 << false;
    QTest::newRow("item -1") << 3 << -1 << false;
    QTest::newRow("item 1 of empty list") << 0 << 1 << false;
    QTest::newRow("remove 0") << 3 << 0 << true;
    QTest::newRow("remove count + 1") << 3 << 4 << true;
}

void TestNumberList::positionsOutsideTheListFail()
{
    QFETCH(int, entries);
    QFETCH(int, position);
    QFETCH(bool, remove);
    ListView view;
    for (int i = 1; i <= entries; ++i)
        view.ListItems.Add(numbered(i));
    QString description;
    try {
        if (remove)
            view.ListItems.Remove(position);
        else
            (void)view.ListItems.Item(position).Text();
    } catch (const Failure &failure) {
        description = failure.description();
    }
    QCOMPARE(description, QStringLiteral("Index out of bounds"));
    QCOMPARE(view.ListItems.Count(), entries);
}

void TestNumberList::subItemPositionZeroFails()
{
    ListView view;
    view.ListItems.Add(QStringLiteral("a"));
    QString description;
    try {
        view.ListItems.Item(1).SetSubItems(0, QStringLiteral("x"));
    } catch (const Failure &failure) {
        description = failure.description();
    }
    QCOMPARE(description, QStringLiteral("Index out of bounds"));
    QCOMPARE(view.ListItems.Item(1).Text(), QStringLiteral("a"));
}

void TestNumberList::columnWidthIsSetInTwips()
{
    ListView view;
    view.resize(7800 / 15, 2055 / 15);
    view.ColumnHeaders.Add(QStringLiteral("Phone Numbers"));
    view.ColumnHeaders.Item(1).SetWidth(7000);
    QCOMPARE(view.ColumnHeaders.Count(), 1);
    QCOMPARE(view.ColumnHeaders.Item(1).Text(), QStringLiteral("Phone Numbers"));
    QCOMPARE(view.ColumnHeaders.Item(1).Width(), 7000);
    QCOMPARE(view.header()->sectionSize(0), 467);
    QCOMPARE(view.header()->model()->headerData(0, Qt::Horizontal).toString(),
             QStringLiteral("Phone Numbers"));

    // Wider than the list: the horizontal bar reaches the rest.
    view.ColumnHeaders.Item(1).SetWidth(15000);
    QCOMPARE(view.header()->sectionSize(0), 1000);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QCOMPARE(view.horizontalScrollBar()->maximum(), 1000 - view.viewport()->width());
}

void TestNumberList::columnKeepsItsWidthAfterClear()
{
    ListView view;
    fill(view, 10);
    view.ListItems.Clear();
    QCOMPARE(view.header()->count(), 1);
    QCOMPARE(view.header()->sectionSize(0), 467);
    fill(view, 2);
    QCOMPARE(view.header()->sectionSize(0), 467);
}

void TestNumberList::headerSitsAboveRowsAndScrollsWithThem()
{
    ListView view;
    view.resize(300, 150);
    fill(view, 100);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    const QRect header = view.header()->geometry();
    const QRect viewport = view.viewport()->geometry();
    QVERIFY(header.height() > 0);
    QCOMPARE(header.bottom() + 1, viewport.top());
    QCOMPARE(header.width(), viewport.width());
    QVERIFY(view.header()->isVisible());

    QVERIFY(view.horizontalScrollBar()->maximum() > 0);
    view.horizontalScrollBar()->setValue(50);
    QCOMPARE(view.header()->offset(), 50);
    QCOMPARE(view.visualRect(view.listModel()->index(0, 0)).left(), -50);

    // Rows: one step is one entry, a page is what fits.
    QCOMPARE(view.verticalScrollBar()->pageStep(), view.viewport()->height() / view.rowHeight());
    QCOMPARE(view.verticalScrollBar()->maximum(), 100 - view.verticalScrollBar()->pageStep());
    fill(view, 50);
    QCOMPARE(view.verticalScrollBar()->maximum(), 150 - view.verticalScrollBar()->pageStep());
    view.ListItems.Remove(1);
    QCOMPARE(view.verticalScrollBar()->maximum(), 149 - view.verticalScrollBar()->pageStep());
    view.ListItems.Clear();
    QCOMPARE(view.verticalScrollBar()->maximum(), 0);
}

void TestNumberList::keysEmitKeyDown_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<int>("keyCode");
    QTest::addColumn<int>("shift");
    QTest::newRow("Delete") << int(Qt::Key_Delete) << Qt::KeyboardModifiers() << 46 << 0;
    QTest::newRow("Shift+Delete") << int(Qt::Key_Delete) << Qt::KeyboardModifiers(Qt::ShiftModifier) << 46
                                  << 1;
    QTest::newRow("Ctrl+Alt+Delete") << int(Qt::Key_Delete)
                                     << Qt::KeyboardModifiers(Qt::ControlModifier | Qt::AltModifier) << 46
                                     << 6;
    QTest::newRow("keypad Delete") << int(Qt::Key_Delete) << Qt::KeyboardModifiers(Qt::KeypadModifier) << 46
                                   << 0;
    QTest::newRow("full stop is not Delete") << int(Qt::Key_Period) << Qt::KeyboardModifiers() << 190 << 0;
    QTest::newRow("minus is not Insert") << int(Qt::Key_Minus) << Qt::KeyboardModifiers() << 189 << 0;
    QTest::newRow("letter") << int(Qt::Key_A) << Qt::KeyboardModifiers(Qt::ShiftModifier) << 65 << 1;
    QTest::newRow("digit") << int(Qt::Key_7) << Qt::KeyboardModifiers() << 55 << 0;
    QTest::newRow("keypad digit") << int(Qt::Key_7) << Qt::KeyboardModifiers(Qt::KeypadModifier) << 103 << 0;
    QTest::newRow("Down") << int(Qt::Key_Down) << Qt::KeyboardModifiers() << 40 << 0;
    QTest::newRow("F1") << int(Qt::Key_F1) << Qt::KeyboardModifiers() << 112 << 0;
}

void TestNumberList::keysEmitKeyDown()
{
    QFETCH(int, key);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(int, keyCode);
    QFETCH(int, shift);
    ListView view;
    fill(view, 3);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QSignalSpy keyDown(&view, &ListView::KeyDown);
    QTest::keyPress(&view, Qt::Key(key), modifiers);
    // The modifier keys were pressed first and reported on their own.
    QVERIFY(!keyDown.isEmpty());
    QCOMPARE(keyDown.last()[0].toInt(), keyCode);
    QCOMPARE(keyDown.last()[1].toInt(), shift);
}

void TestNumberList::doubleClickSelectsRowAndEmitsDblClick()
{
    ListView view;
    view.resize(520, 137);
    fill(view, 5);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QSignalSpy dblClick(&view, &ListView::DblClick);
    // Signal order: the handler finds the clicked entry already selected.
    std::optional<qsizetype> selectedWhenSignalled;
    connect(&view, &ListView::DblClick, &view, [&] {
        if (const auto item = view.SelectedItem())
            selectedWhenSignalled = item->Index();
    });
    const QPoint row3 = view.visualRect(view.listModel()->index(2, 0)).center();
    QTest::mouseDClick(view.viewport(), Qt::LeftButton, {}, row3);
    QCOMPARE(dblClick.count(), 1);
    QCOMPARE(selectedWhenSignalled, std::optional<qsizetype>(3));
    QCOMPARE(view.SelectedItem()->Index(), 3);
}

void TestNumberList::doubleClickOnEmptySpaceRemovesNothing()
{
    ListView view;
    view.resize(520, 300);
    fill(view, 2);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    view.SetSelectedIndex(1);
    QSignalSpy dblClick(&view, &ListView::DblClick);
    QTest::mouseDClick(view.viewport(), Qt::LeftButton, {}, QPoint(20, view.viewport()->height() - 5));
    QCOMPARE(dblClick.count(), 0);
    QCOMPARE(view.SelectedItem()->Index(), 1);
}

void TestNumberList::doubleClickWithModifiersActsOnEntry_data()
{
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<int>("selectedBefore");
    QTest::newRow("Ctrl, on the highlighted entry") << Qt::KeyboardModifiers(Qt::ControlModifier) << 3;
    QTest::newRow("Ctrl, on another entry") << Qt::KeyboardModifiers(Qt::ControlModifier) << 1;
    QTest::newRow("Shift, on the highlighted entry") << Qt::KeyboardModifiers(Qt::ShiftModifier) << 3;
    QTest::newRow("Ctrl+Shift, nothing highlighted")
        << Qt::KeyboardModifiers(Qt::ControlModifier | Qt::ShiftModifier) << 0;
}

void TestNumberList::doubleClickWithModifiersActsOnEntry()
{
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(int, selectedBefore);
    ListView view;
    view.resize(520, 137);
    fill(view, 5);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    view.SetSelectedIndex(selectedBefore);
    std::optional<qsizetype> selectedWhenSignalled;
    connect(&view, &ListView::DblClick, &view, [&] {
        if (const auto item = view.SelectedItem())
            selectedWhenSignalled = item->Index();
    });
    const QPoint row3 = view.visualRect(view.listModel()->index(2, 0)).center();
    // Through the window, as the window system delivers a double-click:
    // press, release, press (also reported as a double-click), release.
    QSignalSpy dblClick(&view, &ListView::DblClick);
    QTest::mouseDClick(view.windowHandle(), Qt::LeftButton, modifiers, view.viewport()->mapTo(&view, row3));
    QCOMPARE(dblClick.count(), 1);
    QCOMPARE(selectedWhenSignalled, std::optional<qsizetype>(3));
}

void TestNumberList::arrowKeysMoveCurrentEntry()
{
    ListView view;
    view.resize(520, 137);
    fill(view, 20);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    view.SetSelectedIndex(1);
    const struct
    {
        Qt::Key key;
        qsizetype expected;
    } steps[] = {{Qt::Key_Down, 2},  {Qt::Key_Down, 3}, {Qt::Key_Up, 2}, {Qt::Key_End, 20},
                 {Qt::Key_Down, 20}, {Qt::Key_Home, 1}, {Qt::Key_Up, 1}, {Qt::Key_Down, 2}};
    for (const auto &step : steps) {
        QTest::keyClick(&view, step.key);
        QVERIFY(view.SelectedItem().has_value());
        QCOMPARE(view.SelectedItem()->Index(), step.expected);
        const QRect rect = view.visualRect(view.currentIndex());
        QVERIFY(view.viewport()->rect().contains(rect.topLeft()));
        QVERIFY(view.viewport()->rect().contains(QPoint(rect.left(), rect.bottom())));
    }
}

void TestNumberList::pageKeysKeepCurrentEntryVisible()
{
    ListView view;
    view.resize(520, 137);
    fill(view, 100);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    const int page = view.viewport()->height() / view.rowHeight();
    QVERIFY(page > 1);
    view.SetSelectedIndex(1);
    qsizetype previous = 1;
    for (int i = 0; i < 3; ++i) {
        QTest::keyClick(&view, Qt::Key_PageDown);
        const qsizetype now = view.SelectedItem()->Index();
        QVERIFY2(now > previous + 0 && now <= previous + page, qPrintable(QString::number(now)));
        QVERIFY(view.viewport()->rect().contains(view.visualRect(view.currentIndex())));
        previous = now;
    }
    QTest::keyClick(&view, Qt::Key_PageUp);
    QVERIFY(view.SelectedItem()->Index() < previous);
    QVERIFY(view.viewport()->rect().contains(view.visualRect(view.currentIndex())));
}

void TestNumberList::selectedItemEmptyOnFreshList()
{
    ListView view;
    QVERIFY(!view.SelectedItem().has_value());
    fill(view, 3);
    QVERIFY(!view.SelectedItem().has_value());
    view.SetSelectedIndex(2);
    QCOMPARE(view.SelectedItem()->Index(), 2);
    QCOMPARE(view.SelectedItem()->Text(), numbered(2));
    view.ListItems.Clear();
    QVERIFY(!view.SelectedItem().has_value());
}

void TestNumberList::removalKeepsSelectionInRange()
{
    ListView view;
    fill(view, 4);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));

    // The entry after the removed one takes its place.
    view.SetSelectedIndex(2);
    view.ListItems.Remove(2);
    QCOMPARE(view.SelectedItem()->Index(), 2);
    QCOMPARE(view.SelectedItem()->Text(), numbered(3));

    // At the end, the one before.
    view.SetSelectedIndex(3);
    view.ListItems.Remove(3);
    QCOMPARE(view.SelectedItem()->Index(), 2);

    while (view.ListItems.Count() > 0) {
        const auto selected = view.SelectedItem();
        QVERIFY(selected.has_value());
        QVERIFY(selected->Index() >= 1 && selected->Index() <= view.ListItems.Count());
        view.ListItems.Remove(selected->Index());
    }
    QVERIFY(!view.SelectedItem().has_value());
}

void TestNumberList::mouseMoveIsReported()
{
    ListView view;
    view.resize(520, 137);
    fill(view, 3);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QSignalSpy moved(&view, &ListView::MouseMove);
    auto moveOver = [](QWidget *widget, QPoint pos) {
        QMouseEvent event(QEvent::MouseMove, pos, widget->mapToGlobal(pos), Qt::NoButton, Qt::NoButton,
                          Qt::NoModifier);
        QApplication::sendEvent(widget, &event);
    };
    moveOver(view.viewport(), QPoint(30, 10));
    QCOMPARE(moved.count(), 1);
    moveOver(view.header(), QPoint(30, 5));
    QCOMPARE(moved.count(), 2);
}

void TestNumberList::typingFindsEntry()
{
    ListView view;
    fill(view, 3);
    view.ListItems.Add(QStringLiteral(u"\u00c9cole"));
    view.ListItems.Add(QStringLiteral("888-342-9122"));
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    view.keyboardSearch(QStringLiteral("888"));
    QCOMPARE(view.SelectedItem()->Index(), 5);
    QTest::qWait(QApplication::keyboardInputInterval() + 50);
    view.keyboardSearch(QStringLiteral(u"\u00e9")); // case does not matter
    QCOMPARE(view.SelectedItem()->Index(), 4);
}

void TestNumberList::tenMillionEntriesScrollToTheEnd()
{
    constexpr int entries = 10'000'000;
    ListView view;
    view.resize(520, 137);
    view.ColumnHeaders.Add(QStringLiteral("Phone Numbers"));
    view.ColumnHeaders.Item(1).SetWidth(7000);
    NumberListModel *model = view.listModel();
    char16_t text[8] = {u'5', u'5', u'5', u'-'};
    model->beginBatch();
    for (int i = 0; i < entries; ++i) {
        for (int d = 7, n = i; d >= 4; --d, n /= 10)
            text[d] = char16_t(u'0' + n % 10);
        model->append(QStringView(text, 8));
    }
    model->endBatch();
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QCOMPARE(view.ListItems.Count(), entries);

    QTest::keyClick(&view, Qt::Key_End);
    QCOMPARE(view.SelectedItem()->Index(), entries);
    QCOMPARE(view.verticalScrollBar()->value(), view.verticalScrollBar()->maximum());
    const QModelIndex last = model->index(entries - 1, 0);
    const QRect rect = view.visualRect(last);
    QVERIFY(view.viewport()->rect().contains(rect));
    QCOMPARE(view.indexAt(rect.center()), last);
    QCOMPARE(view.indexAt(QPoint(rect.center().x(), rect.bottom() + 2)), QModelIndex());
    QCOMPARE(view.ListItems.Item(entries).Text(), QStringLiteral("555-9999"));
    QVERIFY(!view.grab().isNull());

    view.scrollTo(model->index(entries / 2, 0), QAbstractItemView::PositionAtTop);
    QCOMPARE(view.verticalScrollBar()->value(), entries / 2);
    QCOMPARE(view.indexAt(QPoint(5, 1)).row(), entries / 2);
}

QTEST_MAIN(TestNumberList)
#include "tst_numberlist.moc"
