#include "app/form1.h"
#include "input/textimport.h"
#include "platform/failure.h"
#include "platform/fakeplatform.h"
#include "platform/procedures.h"
#include "platform/workers.h"
#include "testsupport.h"
#include "text/windows1252.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstring>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kProcedure = Procedure::PushButton3_Click;

QString writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write test file");
    return path;
}

// The answer of the open dialog when several files are chosen.
QString severalFiles(const QString &folder, const QStringList &names)
{
    return folder + QChar(u'\0') + names.join(QChar(u'\0'));
}

// Virtual memory of this process, in bytes.
rlim_t virtualMemorySize()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmSize:"))
            return rlim_t(line.mid(7).trimmed().split(' ').value(0).toULongLong()) * 1024;
    }
    return 0;
}

// Characters of the bytes 0x80-0x9F in Windows-1252; the five it leaves
// unassigned read as the C1 control of the same value.
constexpr char16_t kHighControls[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                        0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                        0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                        0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// The entries of a file, a byte at a time: LF ends an entry, CR ends an entry
// and its line and takes a following LF with it. A file's last entry counts
// when bytes or an LF follow the last CR; `complete` false leaves it out, as
// a read failure does.
QStringList referenceEntries(const QByteArray &bytes, bool complete = true)
{
    QStringList out;
    QString current;
    bool open = false;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (b == '\n') {
            out.append(current);
            current.clear();
            open = true;
        } else if (b == '\r') {
            out.append(current);
            current.clear();
            open = false;
            if (i + 1 < bytes.size() && bytes[i + 1] == '\n')
                ++i;
        } else {
            current.append(QChar(b >= 0x80 && b <= 0x9F ? kHighControls[b - 0x80] : char16_t(b)));
            open = true;
        }
    }
    if (open && complete)
        out.append(current);
    return out;
}

// Lines of random length and bytes (digits, dashes, control bytes, bytes above 0x7F)
// ending in CR LF, LF or CR, the last one without a line end.
QByteArray randomLines(qsizetype bytes, quint32 seed)
{
    QRandomGenerator random(seed);
    static const char kEnds[3][3] = {"\r\n", "\n", "\r"};
    QByteArray out;
    out.reserve(bytes + 64);
    while (out.size() < bytes) {
        const int length = random.bounded(0, 30);
        for (int i = 0; i < length; ++i) {
            const int kind = random.bounded(0, 8);
            if (kind < 5)
                out.append(char('0' + random.bounded(0, 10)));
            else if (kind == 5)
                out.append('-');
            else if (kind == 6)
                out.append(char(random.bounded(0x80, 0x100)));
            else
                out.append(char(random.bounded(0, 0x20)));
        }
        if (out.size() < bytes)
            out.append(kEnds[random.bounded(0, 3)]);
    }
    return out;
}

// Sets how many threads a command may use, and puts the count back after.
class ThreadCount
{
public:
    explicit ThreadCount(int threads) : m_before(Workers::count()) { Workers::setCount(threads); }
    ~ThreadCount() { Workers::setCount(m_before); }
    ThreadCount(const ThreadCount &) = delete;
    ThreadCount &operator=(const ThreadCount &) = delete;

private:
    int m_before;
};

struct ReadOutcome
{
    QStringList entries;
    QString failure; // empty when every read succeeded
};

// Reads `bytes` through ReadTextEntries, each read returning at most
// `readSize` bytes; a read after `failAt` bytes throws Failure (-1: never).
ReadOutcome readInPieces(const QByteArray &bytes, qsizetype readSize, qsizetype bufferSize, int threads,
                         qsizetype failAt = -1)
{
    const ThreadCount count(threads);
    ReadOutcome outcome;
    NumberListModel list;
    try {
        NumberListModel::Batch batch(list);
        qsizetype at = 0;
        Main::ReadTextEntries(
            [&](char *buffer, qsizetype room) {
                if (failAt >= 0 && at >= failAt)
                    throw Failure(QStringLiteral("Input/output error: numbers.txt"));
                qsizetype n = std::min({readSize, room, bytes.size() - at});
                if (failAt >= 0)
                    n = std::min(n, failAt - at);
                std::memcpy(buffer, bytes.constData() + at, std::size_t(n));
                at += n;
                return n;
            },
            list, bufferSize);
    } catch (const Failure &failure) {
        outcome.failure = failure.description();
    }
    outcome.entries = entries(list);
    return outcome;
}

} // namespace

class TestTextImport : public QObject
{
    Q_OBJECT

private slots:
    void splitsFileIntoEntries_data();
    void splitsFileIntoEntries();
    void lineEndSplitAcrossDefaultSizedReads();
    void sameEntriesWithOneAndTwoThreads_data();
    void sameEntriesWithOneAndTwoThreads();
    void readFailureKeepsEntriesBeforeIt_data();
    void readFailureKeepsEntriesBeforeIt();
    void decodesWindows1252_data();
    void decodesWindows1252();
    void everyByteRoundTrips();
    void encodesCharactersOutsideCodePageAsQuestionMark_data();
    void encodesCharactersOutsideCodePageAsQuestionMark();
    void normalizePath_data();
    void normalizePath();

    void setsDialogBeforeShowingIt();
    void cancelLeavesListUnchanged();
    void loadsOneFileAfterExistingEntries();
    void loadsSeveralFilesInAnswerOrder();
    void missingFileIsReportedAndOthersStillLoad();
    void emptyFileAddsNothing();
    void tellsViewOncePerFile();
    void reportsPathsThatAreNotRegularFiles_data();
    void reportsPathsThatAreNotRegularFiles();
    void reportsFileThatCannotBeOpened();
    void outOfMemoryKeepsEntriesReadSoFar();
    void roomStaysInProportionToEntries_data();
    void roomStaysInProportionToEntries();
};

void TestTextImport::splitsFileIntoEntries_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("expected");

    const QStringList three{QStringLiteral("888-342-9122"), QStringLiteral("1-888-342-9122"),
                            QStringLiteral("342-9122")};
    QTest::newRow("CR LF line ends") << QByteArray("888-342-9122\r\n1-888-342-9122\r\n342-9122\r\n") << three;
    QTest::newRow("LF line ends: last entry empty")
        << QByteArray("888-342-9122\n1-888-342-9122\n342-9122\n") << (three + QStringList{QString()});
    QTest::newRow("CR line ends") << QByteArray("888-342-9122\r1-888-342-9122\r342-9122\r") << three;
    QTest::newRow("last line without line end")
        << QByteArray("888-342-9122\r\n1-888-342-9122\r\n342-9122") << three;
    QTest::newRow("blank line in the middle")
        << QByteArray("888-342-9122\r\n\r\n342-9122\r\n")
        << QStringList{QStringLiteral("888-342-9122"), QString(), QStringLiteral("342-9122")};
    QTest::newRow("leading and trailing blanks stay")
        << QByteArray("   888-342-9122\t \r\n") << QStringList{QStringLiteral("   888-342-9122\t ")};
    QTest::newRow("comma is not a separator")
        << QByteArray("888-342-9122, 342-9122\r\n") << QStringList{QStringLiteral("888-342-9122, 342-9122")};
    QTest::newRow("empty file") << QByteArray() << QStringList{};
    QTest::newRow("only a line end") << QByteArray("\r\n") << QStringList{QString()};
    QTest::newRow("only an LF") << QByteArray("\n") << QStringList{QString(), QString()};
    QTest::newRow("LF inside a CR line")
        << QByteArray("a\nb\rc")
        << QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")};
    QTest::newRow("LF before CR LF") << QByteArray("a\n\r\nb")
                                     << QStringList{QStringLiteral("a"), QString(), QStringLiteral("b")};
    QTest::newRow("CR CR LF is two line ends")
        << QByteArray("a\r\r\nb") << QStringList{QStringLiteral("a"), QString(), QStringLiteral("b")};
    QTest::newRow("LF CR is one line end after a split")
        << QByteArray("a\n\rb") << QStringList{QStringLiteral("a"), QString(), QStringLiteral("b")};
    QTest::newRow("byte-order mark is text") << QByteArray("\xEF\xBB\xBF"
                                                           "555-1234\r\n")
                                             << QStringList{QStringLiteral("\u00EF\u00BB\u00BF555-1234")};
    QTest::newRow("NUL byte kept") << QByteArray("12\0"
                                                 "34",
                                                 5)
                                   << QStringList{QStringLiteral("12") + QChar(u'\0') + QStringLiteral("34")};
    QTest::newRow("Windows-1252 punctuation")
        << QByteArray("\x93"
                      "555-1234\x94 \x96 \x80\r\nplain\r\n")
        << QStringList{QStringLiteral("\u201C555-1234\u201D \u2013 \u20AC"), QStringLiteral("plain")};
}

void TestTextImport::splitsFileIntoEntries()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, expected);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = writeFile(dir, QStringLiteral("numbers.txt"), bytes);
    // Small reads put every read boundary everywhere, between CR and LF too.
    for (const int threads : {1, 2}) {
        const ThreadCount count(threads);
        for (const qsizetype bufferSize :
             {qsizetype(1), qsizetype(2), qsizetype(3), qsizetype(5), Main::kTextReadBufferSize}) {
            FakePlatform platform;
            NumberListModel list;
            Main::LoadTextFileIntoList(platform, list, path, bufferSize);
            QVERIFY2(entries(list) == expected,
                     qPrintable(QStringLiteral("read size %1, %2 threads").arg(bufferSize).arg(threads)));
            QCOMPARE(platform.messages.size(), 0);
        }
    }
}

void TestTextImport::lineEndSplitAcrossDefaultSizedReads()
{
    // The first read ends with the CR, the second starts with its LF.
    QByteArray bytes(Main::kTextReadBufferSize - 1, '7');
    bytes += "\r\n555-1234\r\n";
    QTemporaryDir dir;
    const QString path = writeFile(dir, QStringLiteral("big.txt"), bytes);

    FakePlatform platform;
    Form1 window(platform);
    platform.openAnswers.enqueue(path);
    window.PushButton3_Click();

    const QStringList got = entries(window.ListView1);
    QCOMPARE(got.size(), 2);
    QCOMPARE(got[0], QString(Main::kTextReadBufferSize - 1, QLatin1Char('7')));
    QCOMPARE(got[1], QStringLiteral("555-1234"));
}

// The inputs of the tests below whose reads come in pieces of every size.
static void addPieceRows(bool withFailure)
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<qsizetype>("readSize");
    if (withFailure)
        QTest::addColumn<qsizetype>("failAt");

    const qsizetype mib = qsizetype(1) << 20;
    QByteArray crAtBlockEnd(mib - 1, '7');
    crAtBlockEnd += "\r\n555-1234\r\n";
    QByteArray longLine(3 * mib + 5, '8');
    longLine += "\r\n\n1\r";
    const struct
    {
        const char *name;
        QByteArray bytes;
    } inputs[] = {
        {"CR LF lines", QByteArray("888-342-9122\r\n1-888-342-9122\r\n342-9122\r\n")},
        {"no final line end", QByteArray("888-342-9122\r\n342-9122")},
        {"empty lines of every kind", QByteArray("\r\n\r\n\n\n\r\r\n\r\r\n\nx\n")},
        {"LF inside CR lines", QByteArray("a\nb\rc\n\rd\r\r\ne")},
        {"NUL and high bytes",
         QByteArray("12\0"
                    "34\x80\x81\x9F\xA0\xFF\r\n\x93q\x94\n\xE9",
                    18)},
        {"CR at a 1 MiB block's end", crAtBlockEnd},
        {"line over several blocks", longLine},
        {"random lines", randomLines(3 * mib + 12345, 20261210)},
    };
    const qsizetype sizes[] = {1, 7, 4096, mib, -1};
    for (const auto &input : inputs) {
        for (const qsizetype size : sizes) {
            // A byte a read over megabytes proves nothing more than over a few
            // thousand bytes, at a thousand times the cost.
            const QByteArray bytes =
                size < 4096 && input.bytes.size() > mib ? input.bytes.right(8000) : input.bytes;
            const qsizetype readSize = size < 0 ? std::max<qsizetype>(bytes.size(), 1) : size;
            const QByteArray name = QByteArray(input.name) + ", reads of "
                + (size < 0 ? QByteArray("the whole") : QByteArray::number(size));
            if (!withFailure) {
                QTest::newRow(name.constData()) << bytes << readSize;
                continue;
            }
            // At the start and after the last byte too where that is cheap.
            QList<qsizetype> failures{bytes.size() / 3, bytes.size() - 1};
            if (bytes.size() < 4096)
                failures += {0, bytes.size()};
            for (const qsizetype failAt : failures)
                QTest::addRow("%s, failing after %lld bytes", name.constData(), qlonglong(failAt))
                    << bytes << readSize << failAt;
        }
    }
}

void TestTextImport::sameEntriesWithOneAndTwoThreads_data()
{
    addPieceRows(false);
}

void TestTextImport::sameEntriesWithOneAndTwoThreads()
{
    QFETCH(QByteArray, bytes);
    QFETCH(qsizetype, readSize);

    const QStringList expected = referenceEntries(bytes);
    // The buffer the reads fill: the default one, and one that takes the
    // whole file where the reads do.
    const qsizetype bufferSize = std::max(Main::kTextReadBufferSize, readSize);
    for (const int threads : {1, 2}) {
        const ReadOutcome got = readInPieces(bytes, readSize, bufferSize, threads);
        QVERIFY2(got.failure.isEmpty(), qPrintable(got.failure));
        QCOMPARE(got.entries.size(), expected.size());
        QVERIFY2(got.entries == expected, qPrintable(QStringLiteral("%1 threads").arg(threads)));
    }
}

void TestTextImport::readFailureKeepsEntriesBeforeIt_data()
{
    addPieceRows(true);
}

void TestTextImport::readFailureKeepsEntriesBeforeIt()
{
    QFETCH(QByteArray, bytes);
    QFETCH(qsizetype, readSize);
    QFETCH(qsizetype, failAt);

    // The entries the bytes before the failure end; a line still open is lost.
    const QStringList expected = referenceEntries(bytes.left(failAt), false);
    const qsizetype bufferSize = std::max(Main::kTextReadBufferSize, readSize);
    for (const int threads : {1, 2}) {
        const ReadOutcome got = readInPieces(bytes, readSize, bufferSize, threads, failAt);
        QCOMPARE(got.failure, QStringLiteral("Input/output error: numbers.txt"));
        QCOMPARE(got.entries.size(), expected.size());
        QVERIFY2(got.entries == expected, qPrintable(QStringLiteral("%1 threads").arg(threads)));
    }
}

void TestTextImport::decodesWindows1252_data()
{
    QTest::addColumn<int>("byte");
    QTest::addColumn<int>("character");

    QTest::newRow("ASCII") << 0x41 << 0x41;
    QTest::newRow("euro") << 0x80 << 0x20AC;
    QTest::newRow("unassigned 81") << 0x81 << 0x81;
    QTest::newRow("low quote") << 0x82 << 0x201A;
    QTest::newRow("ellipsis") << 0x85 << 0x2026;
    QTest::newRow("unassigned 8D") << 0x8D << 0x8D;
    QTest::newRow("Z caron") << 0x8E << 0x017D;
    QTest::newRow("unassigned 8F") << 0x8F << 0x8F;
    QTest::newRow("unassigned 90") << 0x90 << 0x90;
    QTest::newRow("em dash") << 0x97 << 0x2014;
    QTest::newRow("trade mark") << 0x99 << 0x2122;
    QTest::newRow("unassigned 9D") << 0x9D << 0x9D;
    QTest::newRow("Y diaeresis") << 0x9F << 0x0178;
    QTest::newRow("no-break space") << 0xA0 << 0xA0;
    QTest::newRow("y diaeresis") << 0xFF << 0xFF;
}

void TestTextImport::decodesWindows1252()
{
    QFETCH(int, byte);
    QFETCH(int, character);

    // Through a file, so that both the plain and the decoding path are taken.
    QTemporaryDir dir;
    const char b = char(byte);
    const QString path = writeFile(dir, QStringLiteral("b.txt"), QByteArray("x") + b + "\r\n");
    FakePlatform platform;
    NumberListModel list;
    Main::LoadTextFileIntoList(platform, list, path);
    QCOMPARE(entries(list), QStringList{QStringLiteral("x") + QChar(char16_t(character))});
    QCOMPARE(int(Windows1252::toUnicode(static_cast<unsigned char>(byte))), character);
}

void TestTextImport::everyByteRoundTrips()
{
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(char(b));
    for (int b = 0; b < 256; ++b) {
        const QString decoded = Windows1252::decode(all.mid(b, 1));
        QCOMPARE(decoded.size(), 1);
        QCOMPARE(Windows1252::encode(QStringView(decoded)), all.mid(b, 1));
    }
    // A file holding every byte but the line ends reads back as one entry that
    // encodes to the same bytes.
    QByteArray line = all;
    line.replace('\r', QByteArrayView()).replace('\n', QByteArrayView());
    QTemporaryDir dir;
    const QString path = writeFile(dir, QStringLiteral("all.txt"), line);
    FakePlatform platform;
    NumberListModel list;
    Main::LoadTextFileIntoList(platform, list, path);
    QCOMPARE(list.count(), 1);
    QCOMPARE(list.text(0).visit([](auto text) { return Windows1252::encode(text); }), line);
}

void TestTextImport::encodesCharactersOutsideCodePageAsQuestionMark_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("ASCII") << QStringLiteral("555-1234") << QByteArray("555-1234");
    QTest::newRow("euro and quotes") << QStringLiteral("\u20AC\u201C1\u201D")
                                     << QByteArray("\x80\x93"
                                                   "1\x94");
    QTest::newRow("Latin-1 letter") << QStringLiteral("caf\u00E9") << QByteArray("caf\xE9");
    QTest::newRow("CJK") << QStringLiteral("1\u4E2D2") << QByteArray("1?2");
    QTest::newRow("C1 control without a byte") << QStringLiteral("\u0080\u0081") << QByteArray("?\x81");
    QTest::newRow("surrogate pair is one character") << QStringLiteral("a\U0001F600b") << QByteArray("a?b");
    QTest::newRow("lone surrogate") << (QStringLiteral("a") + QChar(char16_t(0xD800)) + QStringLiteral("b"))
                                    << QByteArray("a?b");
}

void TestTextImport::encodesCharactersOutsideCodePageAsQuestionMark()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, expected);
    QCOMPARE(Windows1252::encode(QStringView(text)), expected);
    // Texts kept one byte a character take the same route.
    if (std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() <= 0xFF; })) {
        const QByteArray latin1 = text.toLatin1();
        QCOMPARE(Windows1252::encode(QLatin1StringView(latin1)), expected);
    }
}

void TestTextImport::normalizePath_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QChar>("separator");
    QTest::addColumn<QString>("expected");

    const QChar back(u'\\');
    const QChar slash(u'/');
    QTest::newRow("no doubled separator")
        << QStringLiteral("C:\\Lists\\a.txt") << back << QStringLiteral("C:\\Lists\\a.txt");
    QTest::newRow("drive root joined with a name")
        << QStringLiteral("C:\\\\a.txt") << back << QStringLiteral("C:\\a.txt");
    QTest::newRow("network path keeps two leading")
        << QStringLiteral("\\\\server\\share\\\\a.txt") << back << QStringLiteral("\\\\server\\share\\a.txt");
    QTest::newRow("three leading become two")
        << QStringLiteral("\\\\\\server\\a.txt") << back << QStringLiteral("\\\\server\\a.txt");
    QTest::newRow("four leading become two")
        << QStringLiteral("\\\\\\\\server\\a.txt") << back << QStringLiteral("\\\\server\\a.txt");
    QTest::newRow("one leading becomes two")
        << QStringLiteral("\\Lists\\a.txt") << back << QStringLiteral("\\\\Lists\\a.txt");
    QTest::newRow("three inside become two")
        << QStringLiteral("C:\\a\\\\\\b.txt") << back << QStringLiteral("C:\\a\\\\b.txt");
    QTest::newRow("four inside become two")
        << QStringLiteral("C:\\a\\\\\\\\b.txt") << back << QStringLiteral("C:\\a\\\\b.txt");
    QTest::newRow("separators only") << QStringLiteral("\\\\\\") << back << QStringLiteral("\\\\");
    QTest::newRow("empty") << QString() << back << QString();
    QTest::newRow("slash: doubled inside")
        << QStringLiteral("home//a.txt") << slash << QStringLiteral("home/a.txt");
    QTest::newRow("slash: root folder joined")
        << QStringLiteral("//a.txt") << slash << QStringLiteral("/a.txt");
    QTest::newRow("slash: absolute path unchanged")
        << QStringLiteral("/tmp/lists/a.txt") << slash << QStringLiteral("/tmp/lists/a.txt");
    QTest::newRow("slash: leading run becomes the root")
        << QStringLiteral("///tmp//a.txt") << slash << QStringLiteral("/tmp/a.txt");
    QTest::newRow("slash: other separator untouched")
        << QStringLiteral("a\\\\b//c") << slash << QStringLiteral("a\\\\b/c");
}

void TestTextImport::normalizePath()
{
    QFETCH(QString, path);
    QFETCH(QChar, separator);
    QFETCH(QString, expected);
    QCOMPARE(Main::NormalizePath(path, separator), expected);
}

void TestTextImport::setsDialogBeforeShowingIt()
{
    FakePlatform platform;
    Form1 window(platform);
    window.CommonDialog1.fileName = QStringLiteral("left over from a save");
    window.CommonDialog1.flags = 2;
    window.PushButton3_Click();

    QCOMPARE(platform.openDialogs.size(), 1);
    const FileDialogSettings &shown = platform.openDialogs[0];
    QCOMPARE(shown.fileName, QString());
    QCOMPARE(shown.flags, 2621953);
    QCOMPARE(shown.title, QStringLiteral("Load List(s) - Hold Ctrl to select multiple list files"));
    QCOMPARE(shown.filter, QStringLiteral("Text Files (*.txt)|*.txt|All Files (*.*)|*.*|"));
    QVERIFY(shown.flags & 0x200); // several files may be chosen
}

void TestTextImport::cancelLeavesListUnchanged()
{
    FakePlatform platform;
    Form1 window(platform);
    window.ListView1->ListItems.Add(QStringLiteral("555-1234"));
    window.PushButton3_Click(); // no answer queued: cancelled

    QCOMPARE(entries(window.ListView1), QStringList{QStringLiteral("555-1234")});
    QCOMPARE(platform.messages.size(), 0);
    QCOMPARE(window.MousePointer(), Pointer::Default);
}

void TestTextImport::loadsOneFileAfterExistingEntries()
{
    QTemporaryDir dir;
    const QString path = writeFile(dir, QStringLiteral("one.txt"), "888-342-9122\r\n342-9122\r\n");
    FakePlatform platform;
    Form1 window(platform);
    window.ListView1->ListItems.Add(QStringLiteral("first"));
    platform.openAnswers.enqueue(path);
    window.SetMousePointer(Pointer::Custom);
    window.PushButton3_Click();

    QCOMPARE(
        entries(window.ListView1),
        (QStringList{QStringLiteral("first"), QStringLiteral("888-342-9122"), QStringLiteral("342-9122")}));
    QCOMPARE(platform.messages.size(), 0);
    QCOMPARE(window.MousePointer(), Pointer::Default);
    QVERIFY(window.ListView1->ListItems.Item(3).Checked());
}

void TestTextImport::loadsSeveralFilesInAnswerOrder()
{
    QTemporaryDir dir;
    writeFile(dir, QStringLiteral("a.txt"), "a1\r\na2\r\n");
    writeFile(dir, QStringLiteral("b.txt"), "b1\r\n");
    FakePlatform platform;
    Form1 window(platform);
    window.ListView1->ListItems.Add(QStringLiteral("old"));
    // A trailing separator on the folder, as a root folder has, is tidied away.
    platform.openAnswers.enqueue(
        severalFiles(dir.path() + QDir::separator(), {QStringLiteral("b.txt"), QStringLiteral("a.txt")}));
    window.PushButton3_Click();

    QCOMPARE(entries(window.ListView1),
             (QStringList{QStringLiteral("old"), QStringLiteral("b1"), QStringLiteral("a1"),
                          QStringLiteral("a2")}));
    QCOMPARE(platform.messages.size(), 0);
    QCOMPARE(window.MousePointer(), Pointer::Default);
}

void TestTextImport::missingFileIsReportedAndOthersStillLoad()
{
    QTemporaryDir dir;
    writeFile(dir, QStringLiteral("a.txt"), "a1\r\n");
    FakePlatform platform;
    Form1 window(platform);
    bool busyWhileShown = false;
    platform.onMsgBox = [&](const FakePlatform::Message &) { busyWhileShown = window.IsBusy(); };
    platform.openAnswers.enqueue(
        severalFiles(dir.path(), {QStringLiteral("missing.txt"), QStringLiteral("a.txt")}));
    window.PushButton3_Click();

    QCOMPARE(platform.messages.size(), 1);
    QCOMPARE(platform.messages[0].text, QStringLiteral("File not found"));
    QCOMPARE(platform.messages[0].style, 0);
    QCOMPARE(platform.messages[0].title, QString()); // the application title
    QVERIFY(busyWhileShown);
    QCOMPARE(entries(window.ListView1), QStringList{QStringLiteral("a1")});
    QCOMPARE(window.MousePointer(), Pointer::Default);
}

void TestTextImport::emptyFileAddsNothing()
{
    QTemporaryDir dir;
    const QString path = writeFile(dir, QStringLiteral("empty.txt"), QByteArray());
    FakePlatform platform;
    Form1 window(platform);
    platform.openAnswers.enqueue(path);
    window.PushButton3_Click();

    QCOMPARE(window.ListView1->ListItems.Count(), 0);
    QCOMPARE(platform.messages.size(), 0);
}

void TestTextImport::tellsViewOncePerFile()
{
    QByteArray many;
    for (int i = 0; i < 5000; ++i)
        many += QByteArray::number(5550000 + i) + "\r\n";
    QTemporaryDir dir;
    writeFile(dir, QStringLiteral("a.txt"), many);
    writeFile(dir, QStringLiteral("b.txt"), many);
    FakePlatform platform;
    Form1 window(platform);
    QSignalSpy inserted(window.ListView1->listModel(), &QAbstractItemModel::rowsInserted);
    platform.openAnswers.enqueue(
        severalFiles(dir.path(), {QStringLiteral("a.txt"), QStringLiteral("b.txt")}));
    window.PushButton3_Click();

    QCOMPARE(window.ListView1->ListItems.Count(), 10000);
    QCOMPARE(window.ListView1->listModel()->rowCount(), 10000);
    QCOMPARE(inserted.size(), 2);
    QCOMPARE(inserted[0].at(1).toInt(), 0);
    QCOMPARE(inserted[0].at(2).toInt(), 4999);
    QCOMPARE(inserted[1].at(2).toInt(), 9999);
}

void TestTextImport::reportsPathsThatAreNotRegularFiles_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("several");
    QTest::addColumn<int>("step");

    QTest::newRow("folder, one file chosen") << QStringLiteral("folder") << false << 120;
    QTest::newRow("folder, several files chosen") << QStringLiteral("folder") << true << 134;
    QTest::newRow("endless device") << QStringLiteral("/dev/zero") << false << 120;
    QTest::newRow("pipe without a writer, one file chosen") << QStringLiteral("fifo") << false << 120;
    QTest::newRow("pipe without a writer, several files chosen") << QStringLiteral("fifo") << true << 134;
}

void TestTextImport::reportsPathsThatAreNotRegularFiles()
{
    QFETCH(QString, kind);
    QFETCH(bool, several);
    QFETCH(int, step);

    QTemporaryDir dir;
    QString path;
    if (kind == QLatin1String("folder")) {
        path = dir.filePath(QStringLiteral("sub"));
        QVERIFY(QDir().mkpath(path));
    } else if (kind == QLatin1String("fifo")) {
        path = dir.filePath(QStringLiteral("pipe"));
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    } else {
        path = kind;
        if (!QFileInfo::exists(path))
            QSKIP("no /dev/zero here");
    }
    writeFile(dir, QStringLiteral("good.txt"), "555-1234\r\n");

    FakePlatform platform;
    Form1 window(platform);
    if (several)
        platform.openAnswers.enqueue(
            severalFiles(dir.path(), {QFileInfo(path).fileName(), QStringLiteral("good.txt")}));
    else
        platform.openAnswers.enqueue(path);
    window.PushButton3_Click();

    QCOMPARE(platform.messages.size(), 1);
    const FakePlatform::Message &report = platform.messages[0];
    QCOMPARE(report.title, QStringLiteral("Application Error"));
    QVERIFY2(report.text.contains(QDir::toNativeSeparators(QFileInfo(path).fileName())),
             qPrintable(report.text));
    QVERIFY2(report.text.contains(QStringLiteral("\r\n") + kProcedure + QStringLiteral("at line ")
                                  + QString::number(step) + QStringLiteral("\r\r")),
             qPrintable(report.text));
    // Nothing was read from it; the next chosen file still loads.
    QCOMPARE(entries(window.ListView1), several ? QStringList{QStringLiteral("555-1234")} : QStringList{});
    QCOMPARE(window.MousePointer(), Pointer::Default);
}

void TestTextImport::reportsFileThatCannotBeOpened()
{
    QTemporaryDir dir;
    QFile::setPermissions(dir.path(),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther
                              | QFile::ExeOther | QFile::ReadGroup | QFile::ExeGroup);
    const QString locked = writeFile(dir, QStringLiteral("locked.txt"), "555-1234\r\n");
    writeFile(dir, QStringLiteral("good.txt"), "555-9876\r\n");
    QVERIFY(QFile::setPermissions(locked, QFileDevice::Permissions()));

    FakePlatform platform;
    Form1 window(platform);
    platform.openAnswers.enqueue(
        severalFiles(dir.path(), {QStringLiteral("locked.txt"), QStringLiteral("good.txt")}));
    // An administrator may open anything: act as an ordinary user meanwhile.
    const bool root = ::geteuid() == 0;
    if (root && ::seteuid(65534) != 0)
        QSKIP("cannot drop privileges");
    window.PushButton3_Click();
    if (root)
        QVERIFY(::seteuid(0) == 0);

    QCOMPARE(platform.messages.size(), 1);
    const QString &text = platform.messages[0].text;
    QVERIFY2(text.startsWith(QStringLiteral("Permission denied: ")), qPrintable(text));
    QVERIFY2(text.contains(QDir::toNativeSeparators(locked) + QStringLiteral("\r\n") + kProcedure
                           + QStringLiteral("at line 134")),
             qPrintable(text));
    QCOMPARE(entries(window.ListView1), QStringList{QStringLiteral("555-9876")});
}

void TestTextImport::outOfMemoryKeepsEntriesReadSoFar()
{
#if defined(__SANITIZE_ADDRESS__)
    QSKIP("a limit on address space does not work with the address sanitizer");
#endif
    // A sparse file of twelve 40 MiB lines, read under a limit that leaves
    // room for a few of them.
    const qsizetype lineBytes = qsizetype(40) << 20;
    const int lines = 12;
    QTemporaryDir dir;
    const QString big = dir.filePath(QStringLiteral("big.txt"));
    {
        QFile file(big);
        QVERIFY(file.open(QIODevice::WriteOnly));
        for (int i = 1; i <= lines; ++i) {
            QVERIFY(file.seek(i * (lineBytes + 2) - 2));
            QCOMPARE(file.write("\r\n", 2), qint64(2));
        }
    }
    const QString small = writeFile(dir, QStringLiteral("small.txt"), "555-1234\r\n");

    FakePlatform platform;
    Form1 window(platform);
    window.ListView1->ListItems.Add(QStringLiteral("before"));
    platform.openAnswers.enqueue(big);

    rlimit original;
    QCOMPARE(::getrlimit(RLIMIT_AS, &original), 0);
    const rlim_t used = virtualMemorySize();
    QVERIFY(used > 0);
    rlimit limited = original;
    limited.rlim_cur = used + (rlim_t(200) << 20);
    if (original.rlim_max != RLIM_INFINITY && limited.rlim_cur > original.rlim_max)
        QSKIP("address space limit too low already");
    QCOMPARE(::setrlimit(RLIMIT_AS, &limited), 0);
    window.PushButton3_Click();
    QCOMPARE(::setrlimit(RLIMIT_AS, &original), 0);

    QCOMPARE(platform.messages.size(), 1);
    QVERIFY2(platform.messages[0].text.startsWith(QStringLiteral("Out of memory\r\n") + kProcedure
                                                  + QStringLiteral("at line 120")),
             qPrintable(platform.messages[0].text));
    const qsizetype kept = window.ListView1->ListItems.Count();
    QVERIFY2(kept > 1 && kept < 1 + lines, qPrintable(QString::number(kept)));
    QCOMPARE(window.ListView1->ListItems.Item(1).Text(), QStringLiteral("before"));
    for (qsizetype i = 2; i <= kept; ++i)
        QCOMPARE(window.ListView1->ListItems.Item(i).TextView().size(), lineBytes);
    // The view shows what was read.
    QCOMPARE(qsizetype(window.ListView1->listModel()->rowCount()), kept);
    QCOMPARE(window.MousePointer(), Pointer::Default);

    // The program keeps working.
    window.ListView1->ListItems.Clear();
    platform.openAnswers.enqueue(small);
    window.PushButton3_Click();
    QCOMPARE(entries(window.ListView1), QStringList{QStringLiteral("555-1234")});
    QCOMPARE(platform.messages.size(), 1);
}

void TestTextImport::roomStaysInProportionToEntries_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<qsizetype>("expected");

    // 1 MiB of line ends, then long lines: the start says nothing of the rest.
    QByteArray denseHead(1 << 20, '\n');
    for (int i = 0; i < 4000; ++i)
        denseHead += QByteArray(1000, '5') + "\r\n";
    QTest::newRow("dense head") << denseHead << qsizetype((1 << 20) + 4000);
    // One long line, then many line ends.
    const QByteArray sparseHead = QByteArray(3 << 20, '7') + QByteArray(600000, '\n');
    QTest::newRow("sparse head") << sparseHead << qsizetype(600001);
    QByteArray even;
    for (int i = 0; i < 300000; ++i)
        even += "555-0100\r\n";
    QTest::newRow("even") << even << qsizetype(300000);
}

void TestTextImport::roomStaysInProportionToEntries()
{
    QFETCH(QByteArray, bytes);
    QFETCH(qsizetype, expected);
    QTemporaryDir dir;
    const QString path = writeFile(dir, QStringLiteral("shape.txt"), bytes);
    FakePlatform platform;
    NumberListModel list;
    Main::LoadTextFileIntoList(platform, list, path);

    QCOMPARE(list.count(), expected);
    // The records' room is never more than half again what they fill.
    QVERIFY2(list.capacity() <= list.count() + list.count() / 2 + 64,
             qPrintable(QStringLiteral("room for %1 entries").arg(list.capacity())));
}

QTEST_MAIN(TestTextImport)
#include "tst_textimport.moc"
