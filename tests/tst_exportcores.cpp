// The export cores run on a list model and a scripted platform alone: this
// test links quillory_cores without the window.

#include "export/clipboard.h"
#include "export/paddedtextsave.h"
#include "export/uncachedwriter.h"
#include "export/workbookexport.h"
#include "platform/errorreport.h"
#include "platform/fakeplatform.h"
#include "platform/procedures.h"
#include "platform/workers.h"

#include "listsupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <memory>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kProcedure = QStringLiteral("in Test.Module.Command ");

const QString kCopied = QStringLiteral("Results have been copied to the clipboard.\r\r"
                                       "Click a text area where you normally type and press Ctrl+V to "
                                       "paste the clipboard.");
const QString kNotInstalledHere =
    QStringLiteral("Excel is not installed on this computer. You need to have it "
                   "installed to use this software without error.");
const QString kNotInstalledFeature =
    QStringLiteral("Excel is not installed on this computer. You need to have "
                   "it installed to use this feature.");

// A new, empty file in a folder of its own, open for writing until it goes.
struct ScratchFile
{
    ScratchFile() = default;
    ~ScratchFile()
    {
        if (fd >= 0)
            ::close(fd);
    }
    ScratchFile(const ScratchFile &) = delete;
    ScratchFile &operator=(const ScratchFile &) = delete;

    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("table.txt"));
    int fd = dir.isValid()
        ? ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600)
        : -1;
};

// Whether the file system of `folder` refuses a direct write from a buffer
// off its alignment, asked of the system itself.
bool refusesMisplacedDirectWrites(const QString &folder)
{
    const QByteArray path = QFile::encodeName(folder + QStringLiteral("/probe"));
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_DIRECT | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    alignas(4096) static char buffer[2 * 4096];
    const bool refused = ::write(fd, buffer + 1, 4096) < 0 && errno == EINVAL;
    ::close(fd);
    ::unlink(path.constData());
    return refused;
}

// Limits the size of the files this process writes, with SIGXFSZ ignored so
// that a write past the limit fails with EFBIG; both come back as they were
// when it goes, or when lifted.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        if (::getrlimit(RLIMIT_FSIZE, &m_saved) != 0)
            return;
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limited = m_saved;
        limited.rlim_cur = bytes;
        m_set = ::setrlimit(RLIMIT_FSIZE, &limited) == 0;
    }
    ~FileSizeLimit() { lift(); }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

    bool isSet() const { return m_set; }
    void lift()
    {
        if (m_oldHandler == SIG_ERR)
            return;
        ::setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_oldHandler);
        m_oldHandler = SIG_ERR;
        m_set = false;
    }

private:
    rlimit m_saved{};
    void (*m_oldHandler)(int) = SIG_ERR;
    bool m_set = false;
};

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A list of `entries` entries cycling through `texts`, under one column.
void fillCycling(NumberListModel &model, const QString &title, const QStringList &texts, int entries,
                 int uncheckEvery = 0)
{
    model.addColumn(title);
    model.beginBatch();
    for (int i = 0; i < entries; ++i)
        model.append(QStringView(texts.at(i % texts.size())));
    model.endBatch();
    if (uncheckEvery > 0) {
        for (int i = 0; i < entries; i += uncheckEvery)
            model.setChecked(i, false);
    }
}

// The padded table of such a list, one line at a time: each text (and the
// title) in Windows-1252, padded with spaces to the longest of them, then
// TAB CR LF. Only characters of the Basic Multilingual Plane, one byte each.
QByteArray referenceTable(const QString &title, const QStringList &texts, int entries, int uncheckEvery = 0)
{
    const auto encode = [](const QString &text) {
        QByteArray bytes;
        for (const QChar c : text) {
            if (c.unicode() < 0x80)
                bytes += char(c.unicode());
            else if (c == QChar(0x00e9))
                bytes += '\xe9';
            else if (c == QChar(0x20ac))
                bytes += '\x80';
            else
                bytes += '?';
        }
        return bytes;
    };
    qsizetype width = title.size();
    for (const QString &t : texts)
        width = std::max(width, t.size());
    const auto line = [&](const QString &text) {
        return encode(text) + QByteArray(width - text.size(), ' ') + "\t\r\n";
    };
    QByteArray table = line(title);
    QList<QByteArray> lines;
    for (const QString &t : texts)
        lines.append(line(t));
    for (int i = 0; i < entries; ++i) {
        if (uncheckEvery == 0 || i % uncheckEvery != 0)
            table += lines.at(i % texts.size());
    }
    return table;
}

// Threads of this process now.
int threadCount()
{
    return int(QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size());
}

QStringList filesIn(const QString &dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

} // namespace

class TestExportCores : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void copiesTheListAndConfirms_data();
    void copiesTheListAndConfirms();
    void savesTheListWhileBusy_data();
    void savesTheListWhileBusy();
    void savesTheSameBytesWithOneAndTwoThreads_data();
    void savesTheSameBytesWithOneAndTwoThreads();
    void failedWriteIsReportedOnceWithEitherThreadCount_data();
    void failedWriteIsReportedOnceWithEitherThreadCount();
    void uncachedWriterWritesEveryByte_data();
    void uncachedWriterWritesEveryByte();
    void uncachedWriterReportsAFailedWrite_data();
    void uncachedWriterReportsAFailedWrite();
    void closedWindowLeavesNoFileAndNoThread_data();
    void closedWindowLeavesNoFileAndNoThread();
    void workbookExportStopsBeforeBusy_data();
    void workbookExportStopsBeforeBusy();
    void workbookIsHandedToTheProgramWhileBusy();

    void cleanup();

private:
    std::unique_ptr<FakePlatform> m_platform;
    int m_threads = 0;  // Workers::count() before the test
    QList<bool> m_busy; // each setBusy call, in order

    std::function<void(bool)> setBusy()
    {
        return [this](bool busy) { m_busy.append(busy); };
    }
    static std::function<void()> yield()
    {
        return [] {};
    }
};

void TestExportCores::init()
{
    m_platform = std::make_unique<FakePlatform>();
    m_busy.clear();
    m_threads = Workers::count();
}

void TestExportCores::cleanup()
{
    Workers::setCount(m_threads);
}

void TestExportCores::copiesTheListAndConfirms_data()
{
    QTest::addColumn<QStringList>("titles");
    QTest::addColumn<QList<QStringList>>("rows");
    QTest::addColumn<QList<int>>("unchecked");
    QTest::addColumn<QString>("expected");

    QTest::newRow("one column, one line per entry")
        << QStringList{QStringLiteral(" Valid Numbers")}
        << QList<QStringList>{{QStringLiteral("888-342-9122")}, {QStringLiteral("1")}} << QList<int>{}
        << QStringLiteral("888-342-9122\r\n1\r\n");
    QTest::newRow("inner cells padded to the entries, not the titles")
        << QStringList{QStringLiteral("A title longer than any entry"), QStringLiteral("Note")}
        << QList<QStringList>{{QStringLiteral("888-342-9122"), QStringLiteral("a")},
                              {QStringLiteral("1"), QString()}}
        << QList<int>{} << QStringLiteral("888-342-9122\ta\r\n1           \t\r\n");
    QTest::newRow("unchecked entry left out")
        << QStringList{QStringLiteral("N")}
        << QList<QStringList>{{QStringLiteral("1")}, {QStringLiteral("2")}} << QList<int>{0}
        << QStringLiteral("2\r\n");
    QTest::newRow("empty list keeps what the clipboard holds")
        << QStringList{QStringLiteral("N")} << QList<QStringList>{} << QList<int>{}
        << QStringLiteral("before");
}

void TestExportCores::copiesTheListAndConfirms()
{
    QFETCH(QStringList, titles);
    QFETCH(QList<QStringList>, rows);
    QFETCH(QList<int>, unchecked);
    QFETCH(QString, expected);

    NumberListModel model;
    fill(model, titles, rows, unchecked);
    m_platform->clipboard = QStringLiteral("before");

    Guarded proc(*m_platform, kProcedure);
    copyResultsToClipboard(proc, *m_platform, model, yield());

    QCOMPARE(m_platform->clipboard, expected);
    QCOMPARE(m_platform->messages.size(), 1);
    QCOMPARE(m_platform->messages.constFirst().text, kCopied);
}

void TestExportCores::savesTheListWhileBusy_data()
{
    QTest::addColumn<bool>("folderExists");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<QString>("reportedAt"); // empty when nothing is reported

    QTest::newRow("written") << true
                             << QByteArray("Number  \tNote\t\r\n"
                                           "555-1234\tok  \t\r\n"
                                           "1       \t    \t\r\n")
                             << QString();
    QTest::newRow("folder missing: reported, nothing written")
        << false << QByteArray()
        << Procedure::SaveListviewProperlySpacedWithoutProgressBar + QStringLiteral("at line 136\r\r");
}

void TestExportCores::savesTheListWhileBusy()
{
    QFETCH(bool, folderExists);
    QFETCH(QByteArray, expected);
    QFETCH(QString, reportedAt);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = folderExists ? dir.filePath(QStringLiteral("out.txt"))
                                      : dir.filePath(QStringLiteral("missing/out.txt"));
    NumberListModel model;
    fill(model, {QStringLiteral("Number"), QStringLiteral("Note")},
         {{QStringLiteral("555-1234"), QStringLiteral("ok")}, {QStringLiteral("1")}});

    Guarded proc(*m_platform, kProcedure);
    saveResultsAsText(proc, *m_platform, model, path, setBusy(), yield(), yield());

    QCOMPARE(m_busy, (QList<bool>{true, false}));
    QCOMPARE(QFile::exists(path), folderExists);
    QCOMPARE(readAll(path), expected);
    if (reportedAt.isEmpty()) {
        QCOMPARE(m_platform->messages.size(), 0);
    } else {
        QCOMPARE(m_platform->messages.size(), 1);
        QVERIFY2(m_platform->messages.constFirst().text.contains(reportedAt),
                 qPrintable(m_platform->messages.constFirst().text));
    }
}

void TestExportCores::savesTheSameBytesWithOneAndTwoThreads_data()
{
    QTest::addColumn<int>("threads");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QStringList>("texts"); // repeated to fill the list
    QTest::addColumn<int>("entries");
    QTest::addColumn<int>("uncheckEvery"); // 0: all checked
    // Whether a yield comes after the first block was handed over: only then
    // can it see the second thread.
    QTest::addColumn<bool>("yieldAfterABlock");

    const QString valid = QStringLiteral(" Valid Numbers");
    const QStringList numbers{QStringLiteral("888-342-9122"), QStringLiteral("1-888-342-9122"),
                              QStringLiteral("555-1234")};
    // Lines of 17 bytes, handed over once 1 MiB (61,680 entries and the
    // header) is built, checked every 1,024 entries and at the end: the first
    // block goes after 62,464 entries.
    const QStringList wide{QStringLiteral("555-\u0968\u0968\u0968\u0968"), QStringLiteral("555-12\u00e934"),
                           QStringLiteral("\u20ac 342-9122"), QStringLiteral("342-9122")};
    const QStringList longTexts{QString(40, u'7'), QStringLiteral("555-1234")};
    for (const int threads : {1, 2}) {
        const auto row = [&](const char *name) -> QTestData & {
            return QTest::addRow("%s, %d thread%s", name, threads, threads == 1 ? "" : "s") << threads;
        };
        row("empty list") << valid << numbers << 0 << 0 << false;
        row("one entry") << valid << numbers << 1 << 0 << false;
        row("16 bytes short of a block: written at the end") << valid << numbers << 61679 << 0 << false;
        row("one byte over a block: handed over at the end") << valid << numbers << 61680 << 0 << false;
        row("a block handed over, then one entry") << valid << numbers << 62465 << 0 << true;
        row("several blocks") << valid << numbers << 400000 << 0 << true;
        row("several blocks, some entries unchecked") << valid << numbers << 400000 << 7 << true;
        row("wide characters, several blocks")
            << QStringLiteral("Invalid Numbers") << wide << 300000 << 0 << true;
        row("long lines, several blocks") << QStringLiteral("N") << longTexts << 100000 << 0 << true;
    }
}

void TestExportCores::savesTheSameBytesWithOneAndTwoThreads()
{
    QFETCH(int, threads);
    QFETCH(QString, title);
    QFETCH(QStringList, texts);
    QFETCH(int, entries);
    QFETCH(int, uncheckEvery);
    QFETCH(bool, yieldAfterABlock);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("out.txt"));
    NumberListModel model;
    fillCycling(model, title, texts, entries, uncheckEvery);
    const QByteArray expected = referenceTable(title, texts, entries, uncheckEvery);

    Workers::setCount(threads);
    const int threadsBefore = threadCount();
    int mostThreads = threadsBefore;
    const auto yield = [&] { mostThreads = std::max(mostThreads, threadCount()); };
    Guarded proc(*m_platform, kProcedure);
    saveResultsAsText(proc, *m_platform, model, path, setBusy(), yield, [] {});

    QVERIFY2(m_platform->messages.isEmpty(), qPrintable(m_platform->messages.value(0).text));
    const QByteArray written = readAll(path);
    QCOMPARE(written.size(), expected.size());
    if (written != expected) {
        const qsizetype at =
            std::mismatch(written.cbegin(), written.cend(), expected.cbegin()).first - written.cbegin();
        QFAIL(qPrintable(QStringLiteral("first difference at byte %1").arg(at)));
    }
    // Once a block is handed over, a second thread writes it while the next
    // one is built, with two threads only; none is left running.
    QCOMPARE(mostThreads > threadsBefore, threads == 2 && yieldAfterABlock);
    QCOMPARE(threadCount(), threadsBefore);
    QCOMPARE(filesIn(dir.path()), QStringList{QStringLiteral("out.txt")});
}

void TestExportCores::failedWriteIsReportedOnceWithEitherThreadCount_data()
{
    QTest::addColumn<int>("threads");
    QTest::addColumn<int>("entries"); // lines of 17 bytes
    QTest::addColumn<int>("lineOfReport");

    // A file size limit of 1.5 MiB makes writes fail there, as a full disk
    // would: within the blocks written while the table is built, or in the
    // last, short block written at the end.
    for (const int threads : {1, 2}) {
        QTest::addRow("fails among the blocks, %d thread(s)", threads) << threads << 400000 << 180;
        QTest::addRow("fails in the last block, %d thread(s)", threads) << threads << 100000 << 184;
    }
}

void TestExportCores::failedWriteIsReportedOnceWithEitherThreadCount()
{
    QFETCH(int, threads);
    QFETCH(int, entries);
    QFETCH(int, lineOfReport);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("results.txt"));
    const QByteArray oldContent = "the previous results\r\n";
    QVERIFY(writeFile(path, oldContent));
    NumberListModel model;
    fillCycling(model, QStringLiteral(" Valid Numbers"),
                {QStringLiteral("888-342-9122"), QStringLiteral("1-888-342-9122")}, entries);
    QVERIFY(qint64(entries + 1) * 17 > 3 * (1 << 20) / 2);

    Workers::setCount(threads);
    const int threadsBefore = threadCount();
    FileSizeLimit limit(3 * (1 << 20) / 2);
    QVERIFY(limit.isSet());
    Guarded proc(*m_platform, kProcedure);
    saveResultsAsText(proc, *m_platform, model, path, setBusy(), yield(), yield());
    limit.lift();

    QCOMPARE(m_platform->messages.size(), 1);
    const QString text = m_platform->messages.constFirst().text;
    QVERIFY2(text.startsWith(QStringLiteral("Cannot write \"")), qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("File too large")), qPrintable(text));
    QVERIFY2(text.contains(Procedure::SaveListviewProperlySpacedWithoutProgressBar
                           + QStringLiteral("at line %1\r\r").arg(lineOfReport)),
             qPrintable(text));
    QCOMPARE(m_busy, (QList<bool>{true, false}));
    QCOMPARE(readAll(path), oldContent);
    QCOMPARE(filesIn(dir.path()), QStringList{QStringLiteral("results.txt")}); // no temporary file left
    QCOMPARE(threadCount(), threadsBefore);
}

void TestExportCores::uncachedWriterWritesEveryByte_data()
{
    QTest::addColumn<QList<int>>("pieces");
    QTest::addColumn<int>("misalign");
    QTest::addColumn<bool>("slowDisk");

    constexpr int block = 4096;
    constexpr int buffer = 1 << 20;
    const QList<std::pair<const char *, QList<int>>> shapes = {
        {"nothing", {}},
        {"one byte", {1}},
        {"a disk block less one", {block - 1}},
        {"a disk block", {block}},
        {"a disk block and one", {block + 1}},
        {"the buffer less one", {buffer - 1}},
        {"the buffer", {buffer}},
        {"the buffer and one", {buffer + 1}},
        {"two buffers in pieces across them", {buffer - 5, 10, buffer - 5}},
        {"a piece larger than three buffers", {7, 3 * buffer + 4099, 1}},
        {"many small pieces", QList<int>(3000, 999)},
    };
    // Misplaced by a byte, the buffer is refused by a file system that
    // checks direct writes; and a disk slower than the writer's limit is
    // left to the page cache: either way the writer goes on through the cache.
    for (const auto &[name, pieces] : shapes) {
        QTest::addRow("%s, buffer aligned", name) << pieces << 0 << false;
        QTest::addRow("%s, buffer misplaced", name) << pieces << 1 << false;
        QTest::addRow("%s, slow disk", name) << pieces << 0 << true;
    }
}

void TestExportCores::uncachedWriterWritesEveryByte()
{
    QFETCH(QList<int>, pieces);
    QFETCH(int, misalign);
    QFETCH(bool, slowDisk);

    const ScratchFile file;
    QVERIFY(file.fd >= 0);
    const int fd = file.fd;
    const int flagsBefore = ::fcntl(fd, F_GETFL);

    QByteArray expected;
    QRandomGenerator random(qHash(QTest::currentDataTag()));
    {
        // Every write is too slow for a limit of nothing.
        UncachedWriter writer(fd, misalign,
                              slowDisk ? std::chrono::nanoseconds(0) : UncachedWriter::kSlowWrite);
        const bool direct = writer.direct();
        for (const int size : std::as_const(pieces)) {
            QByteArray piece(size, Qt::Uninitialized);
            for (char &c : piece)
                c = char(random.bounded(256));
            expected += piece;
            QCOMPARE(writer.write(piece.constData(), piece.size()), 0);
        }
        // Where the buffer was refused, or the disk was too slow, the writer
        // went on without direct writes.
        if (misalign != 0 && expected.size() >= UncachedWriter::kBufferBytes
            && refusesMisplacedDirectWrites(file.dir.path()))
            QVERIFY(!writer.direct());
        if (slowDisk && direct && expected.size() >= UncachedWriter::kBufferBytes)
            QVERIFY(!writer.direct());
        QCOMPARE(writer.finish(), 0);
        // The descriptor goes back as it came, ready for ordinary writes.
        QCOMPARE(::fcntl(fd, F_GETFL), flagsBefore);
    }
    QCOMPARE(::fcntl(fd, F_GETFL), flagsBefore);
    QCOMPARE(::fdatasync(fd), 0);
    QCOMPARE(readAll(file.path), expected);
}

void TestExportCores::uncachedWriterReportsAFailedWrite_data()
{
    QTest::addColumn<int>("misalign");
    QTest::newRow("buffer aligned") << 0;
    QTest::newRow("buffer misplaced") << 1;
}

void TestExportCores::uncachedWriterReportsAFailedWrite()
{
    QFETCH(int, misalign);

    const ScratchFile file;
    QVERIFY(file.fd >= 0);
    const int fd = file.fd;

    // A file-size limit halfway into the second buffer.
    FileSizeLimit limit(3 * (1 << 20) / 2);
    QVERIFY(limit.isSet());

    UncachedWriter writer(fd, misalign);
    const QByteArray piece(64 * 1024, '5');
    int error = 0;
    int pieces = 0;
    for (; pieces < 64 && error == 0; ++pieces)
        error = writer.write(piece.constData(), piece.size());
    if (error == 0)
        error = writer.finish();
    // Refused at the limit, and not before.
    QCOMPARE(error, EFBIG);
    QVERIFY2(qint64(pieces) * piece.size() > 3 * (1 << 20) / 2, qPrintable(QString::number(pieces)));
}

void TestExportCores::closedWindowLeavesNoFileAndNoThread_data()
{
    QTest::addColumn<int>("threads");
    QTest::addColumn<bool>("fileExisted");
    // Closed at the first yield once the file being written holds this many
    // bytes; at the tenth yield when 0, before any byte is written.
    QTest::addColumn<qint64>("closedOnceWritten");

    for (const int threads : {1, 2}) {
        for (const bool existed : {false, true}) {
            const char *file = existed ? "existing file" : "new file";
            QTest::addRow("%s, closed before any byte, %d thread(s)", file, threads)
                << threads << existed << qint64(0);
            QTest::addRow("%s, closed once the first block is written, %d thread(s)", file, threads)
                << threads << existed << qint64(1);
            QTest::addRow("%s, closed blocks later, %d thread(s)", file, threads)
                << threads << existed << qint64(3 << 20);
        }
    }
}

void TestExportCores::closedWindowLeavesNoFileAndNoThread()
{
    QFETCH(int, threads);
    QFETCH(bool, fileExisted);
    QFETCH(qint64, closedOnceWritten);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("results.txt"));
    const QByteArray oldContent = "the previous results\r\n";
    if (fileExisted)
        QVERIFY(writeFile(path, oldContent));
    const QStringList before = filesIn(dir.path());
    NumberListModel model;
    fillCycling(model, QStringLiteral(" Valid Numbers"),
                {QStringLiteral("888-342-9122"), QStringLiteral("1-888-342-9122")}, 400000);
    QVERIFY(qint64(400001) * 17 > closedOnceWritten + (2 << 20));

    Workers::setCount(threads);
    const int threadsBefore = threadCount();
    int yields = 0;
    int mostThreads = threadsBefore;
    bool closed = false;
    const auto yield = [&] {
        mostThreads = std::max(mostThreads, threadCount());
        ++yields;
        const bool closing = closedOnceWritten == 0
            ? yields == 10
            : !closed && bytesWrittenUnder(dir.path()) >= closedOnceWritten;
        if (closing) {
            closed = true;
            throw CommandAborted();
        }
    };
    Guarded proc(*m_platform, kProcedure);
    QVERIFY_THROWS_EXCEPTION(CommandAborted,
                             saveResultsAsText(proc, *m_platform, model, path, setBusy(), yield, yield));

    QVERIFY(closed);
    // The yield after the first block was handed over finds the worker.
    QCOMPARE(mostThreads > threadsBefore, threads == 2 && closedOnceWritten > 0);
    QCOMPARE(threadCount(), threadsBefore); // the worker was joined
    QCOMPARE(filesIn(dir.path()), before);
    if (fileExisted)
        QCOMPARE(readAll(path), oldContent);
    QVERIFY(m_platform->messages.isEmpty());
}

void TestExportCores::workbookExportStopsBeforeBusy_data()
{
    QTest::addColumn<bool>("installed");
    QTest::addColumn<int>("entries");
    QTest::addColumn<QStringList>("messages");

    QTest::newRow("no spreadsheet program: both messages")
        << false << 1 << QStringList{kNotInstalledHere, kNotInstalledFeature};
    QTest::newRow("empty list: nothing at all") << true << 0 << QStringList{};
}

void TestExportCores::workbookExportStopsBeforeBusy()
{
    QFETCH(bool, installed);
    QFETCH(int, entries);
    QFETCH(QStringList, messages);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    m_platform->spreadsheetFolder = dir.filePath(QStringLiteral("sheets"));
    if (installed)
        m_platform->spreadsheetProgram = {QStringLiteral("/opt/calc/bin/calc"), {}};
    NumberListModel model;
    model.addColumn(QStringLiteral(" Valid Numbers"));
    for (int i = 0; i < entries; ++i)
        model.append(QStringView(QStringLiteral("888-342-9122")));

    Guarded proc(*m_platform, kProcedure);
    exportListAsWorkbook(proc, *m_platform, model, QStringLiteral("valid"), setBusy(), yield());

    QStringList shown;
    for (const FakePlatform::Message &message : std::as_const(m_platform->messages))
        shown.append(message.text);
    QCOMPARE(shown, messages);
    QVERIFY(m_busy.isEmpty());
    QVERIFY(m_platform->shellCalls.isEmpty());
    QVERIFY(!QDir(m_platform->spreadsheetFolder).exists());
}

void TestExportCores::workbookIsHandedToTheProgramWhileBusy()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    m_platform->spreadsheetFolder = dir.filePath(QStringLiteral("sheets"));
    m_platform->spreadsheetProgram = {QStringLiteral("/opt/calc/bin/calc"), {QStringLiteral("--calc")}};
    NumberListModel model;
    fill(model, {QStringLiteral(" Valid Numbers")},
         {{QStringLiteral("888-342-9122")}, {QStringLiteral("1")}});

    Guarded proc(*m_platform, kProcedure);
    exportListAsWorkbook(proc, *m_platform, model, QStringLiteral("valid"), setBusy(), yield());

    QCOMPARE(m_platform->messages.size(), 0);
    QCOMPARE(m_busy, (QList<bool>{true, false}));
    QCOMPARE(m_platform->shellCalls.size(), 1);
    const FakePlatform::ShellCall call = m_platform->shellCalls.constFirst();
    QCOMPARE(call.program, QStringLiteral("/opt/calc/bin/calc"));
    QCOMPARE(call.arguments.size(), 2);
    QCOMPARE(call.arguments.constFirst(), QStringLiteral("--calc"));
    const QString workbook = call.arguments.constLast();
    QCOMPARE(QFileInfo(workbook).absolutePath(), QDir(m_platform->spreadsheetFolder).absolutePath());
    QVERIFY2(QFileInfo(workbook).fileName().startsWith(QStringLiteral("Quillory-valid-")),
             qPrintable(workbook));
    // A zip archive: the workbook was finished before it was handed over.
    QVERIFY(readAll(workbook).startsWith("PK\x03\x04"));
}

QTEST_GUILESS_MAIN(TestExportCores)
#include "tst_exportcores.moc"
