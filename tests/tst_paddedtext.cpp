#include "app/form1.h"
#include "export/paddedtext.h"
#include "export/paddedtextsave.h"
#include "platform/fakeplatform.h"
#include "platform/procedures.h"
#include "testsupport.h"
#include "unprivileged.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

const QString kExportProcedure = Procedure::SaveListviewProperlySpacedWithoutProgressBar;

void fillNumbers(NumberListModel &model, const QString &title, int count)
{
    model.addColumn(title);
    model.beginBatch();
    for (int i = 0; i < count; ++i)
        model.append(QStringLiteral("555-") + QString::number(i * 7919LL % 100000));
    model.endBatch();
}

QByteArray readAll(const QString &fileName)
{
    QFile f(fileName);
    if (!f.open(QIODevice::ReadOnly))
        return "<missing>";
    return f.readAll();
}

// Makes a folder refuse new and renamed files, even for the superuser, for as
// long as the object lives.
class FrozenFolder
{
public:
    explicit FrozenFolder(const QString &path)
        : m_fd(::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY))
    {
        int flags = 0;
        if (m_fd >= 0 && ::ioctl(m_fd, FS_IOC_GETFLAGS, &flags) == 0) {
            flags |= FS_IMMUTABLE_FL;
            m_frozen = ::ioctl(m_fd, FS_IOC_SETFLAGS, &flags) == 0;
        }
    }
    ~FrozenFolder()
    {
        int flags = 0;
        if (m_frozen && ::ioctl(m_fd, FS_IOC_GETFLAGS, &flags) == 0) {
            flags &= ~FS_IMMUTABLE_FL;
            ::ioctl(m_fd, FS_IOC_SETFLAGS, &flags);
        }
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FrozenFolder(const FrozenFolder &) = delete;
    FrozenFolder &operator=(const FrozenFolder &) = delete;
    bool frozen() const { return m_frozen; }

private:
    int m_fd;
    bool m_frozen = false;
};

QStringList filesIn(const QString &dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

// Where root mounted a small file system for the unprivileged run of a row.
constexpr char kSmallDiskVariable[] = "QUILLORY_TEST_SMALL_DISK";

// A file system of its own, mounted for one row and owned by user 65534.
class SmallDisk
{
public:
    SmallDisk(const QByteArray &type, const QByteArray &options)
    {
        if (!m_point.isValid()) {
            m_why = QStringLiteral("no folder to mount it on");
            return;
        }
        const QByteArray point = QFile::encodeName(m_point.path());
        if (::mount(type.constData(), point.constData(), type.constData(), MS_NOSUID | MS_NODEV | MS_NOEXEC,
                    options.constData())
            != 0) {
            m_why = qt_error_string(errno);
            return;
        }
        m_mounted = true;
        if (::chown(point.constData(), 65534, 65534) != 0 || ::chmod(point.constData(), 0755) != 0)
            m_why = qt_error_string(errno);
    }
    ~SmallDisk()
    {
        if (m_mounted)
            ::umount2(QFile::encodeName(m_point.path()).constData(), MNT_DETACH);
    }
    SmallDisk(const SmallDisk &) = delete;
    SmallDisk &operator=(const SmallDisk &) = delete;
    bool ready() const { return m_mounted && m_why.isEmpty(); }
    QString why() const { return m_why; }
    QString path() const { return m_point.path(); }

private:
    QTemporaryDir m_point;
    bool m_mounted = false;
    QString m_why;
};

// Bytes of every value in no pattern a table could repeat by chance.
QByteArray scrambledBytes(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    quint32 state = 2463534242u;
    for (char &b : bytes) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        b = char(state >> 24);
    }
    return bytes;
}

// The table of a one-column list of ASCII texts, built by hand.
QByteArray referenceTable(const QString &title, const QStringList &texts)
{
    qsizetype width = title.size();
    for (const QString &t : texts)
        width = std::max(width, t.size());
    QByteArray table;
    for (const QString &line : QStringList{title} + texts)
        table += line.toLatin1() + QByteArray(width - line.size(), ' ') + "\t\r\n";
    return table;
}

qint64 freeBytes(const QString &path)
{
    struct statvfs st
    {
    };
    return ::statvfs(QFile::encodeName(path).constData(), &st) == 0 ? qint64(st.f_bfree * st.f_frsize) : -1;
}

} // namespace

class TestPaddedText : public QObject, private FormFixture
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void writesPaddedTable_data();
    void writesPaddedTable();
    void savesTheListOfEachButton_data();
    void savesTheListOfEachButton();
    void largeListIsWrittenInBlocksWithTheSameBytes_data();
    void largeListIsWrittenInBlocksWithTheSameBytes();
    void cancelledDialogWritesNothing();
    void unwritableTargetIsReportedOnce_data();
    void unwritableTargetIsReportedOnce();
    void writableFileInAFolderThatTakesNoNewFileIsWrittenInPlace_data();
    void writableFileInAFolderThatTakesNoNewFileIsWrittenInPlace();
    void inPlaceSaveKeepsTheOldFileUnlessItSucceeds_data();
    void inPlaceSaveKeepsTheOldFileUnlessItSucceeds();
    void failedWriteIsReportedOnceAndKeepsTheOldFile();
    void failedReplaceIsReportedOnceAndKeepsTheOldFile();
    void closingDuringExportLeavesNoFile_data();
    void closingDuringExportLeavesNoFile();
    void clearingTheListDuringExportDoesNotChangeTheFile();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestPaddedText::init()
{
    createForm();
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestPaddedText::cleanup()
{
    closeForm();
    m_dir.reset();
}

void TestPaddedText::writesPaddedTable_data()
{
    QTest::addColumn<QStringList>("titles");
    QTest::addColumn<QList<QStringList>>("rows");
    QTest::addColumn<QList<int>>("unchecked");
    QTest::addColumn<QByteArray>("expected");

    const QStringList valid{QStringLiteral(" Valid Numbers")};
    QTest::newRow("empty list gives the header line alone")
        << valid << QList<QStringList>{} << QList<int>{} << QByteArray(" Valid Numbers\t\r\n");
    QTest::newRow("longest text is followed directly by its tab")
        << valid << QList<QStringList>{{QStringLiteral("888-342-9122")}, {QStringLiteral("1-888-342-9122")}}
        << QList<int>{}
        << QByteArray(" Valid Numbers\t\r\n"
                      "888-342-9122  \t\r\n"
                      "1-888-342-9122\t\r\n");
    QTest::newRow("title longer than every entry pads the entries")
        << QStringList{QStringLiteral("Invalid Numbers")} << QList<QStringList>{{QStringLiteral("12")}}
        << QList<int>{}
        << QByteArray("Invalid Numbers\t\r\n"
                      "12             \t\r\n");
    QTest::newRow("entry longer than the title pads the title")
        << QStringList{QStringLiteral("T")}
        << QList<QStringList>{{QStringLiteral("12345")}, {QStringLiteral("1")}} << QList<int>{}
        << QByteArray("T    \t\r\n"
                      "12345\t\r\n"
                      "1    \t\r\n");
    QTest::newRow("empty entry gives spaces and a tab")
        << QStringList{QStringLiteral("Nums")} << QList<QStringList>{{QString()}, {QStringLiteral("1")}}
        << QList<int>{}
        << QByteArray("Nums\t\r\n"
                      "    \t\r\n"
                      "1   \t\r\n");
    QTest::newRow("unchecked entry gives no line but counts for the width")
        << QStringList{QStringLiteral("N")}
        << QList<QStringList>{{QStringLiteral("1234567")}, {QStringLiteral("12")}} << QList<int>{0}
        << QByteArray("N      \t\r\n"
                      "12     \t\r\n");
    QTest::newRow("all entries unchecked gives the header line alone")
        << QStringList{QStringLiteral("N")}
        << QList<QStringList>{{QStringLiteral("123")}, {QStringLiteral("1")}} << QList<int>{0, 1}
        << QByteArray("N  \t\r\n");
    QTest::newRow("trailing spaces of an entry are kept")
        << QStringList{QStringLiteral("N")} << QList<QStringList>{{QStringLiteral("12  ")}} << QList<int>{}
        << QByteArray("N   \t\r\n"
                      "12  \t\r\n");
    QTest::newRow("tab and line break inside a text are written unchanged")
        << QStringList{QStringLiteral("N")}
        << QList<QStringList>{{QStringLiteral("a\tb")}, {QStringLiteral("c\r\nd")}} << QList<int>{}
        << QByteArray("N   \t\r\n"
                      "a\tb \t\r\n"
                      "c\r\nd\t\r\n");
    QTest::newRow("sub-items fill further columns")
        << QStringList{QStringLiteral("Number"), QStringLiteral("Note")}
        << QList<QStringList>{{QStringLiteral("555-1234"), QStringLiteral("ok")},
                              {QStringLiteral("1"), QStringLiteral("longer note")},
                              {QStringLiteral("2")}}
        << QList<int>{}
        << QByteArray("Number  \tNote       \t\r\n"
                      "555-1234\tok         \t\r\n"
                      "1       \tlonger note\t\r\n"
                      "2       \t           \t\r\n");
    QTest::newRow("Windows-1252 bytes and ? for other characters")
        << QStringList{QStringLiteral("Zahl")}
        << QList<QStringList>{{QString::fromUtf8("\u20ac\u00fc\u2713")},
                              {QString::fromUtf8("\u0081\u0080\u00ff")},
                              {QString::fromUtf8("\u201cx\u201d")}}
        << QList<int>{}
        << QByteArray("Zahl\t\r\n"
                      "\x80\xfc? \t\r\n"
                      "\x81?\xff \t\r\n"
                      "\x93x\x94 \t\r\n");
    // A character beyond U+FFFF is one "?" in the file and one character of the width.
    QTest::newRow("characters beyond U+FFFF count once")
        << QStringList{QStringLiteral("N")}
        << QList<QStringList>{{QString::fromUtf8("\U0001F600\U0001F600")}, {QStringLiteral("123")}}
        << QList<int>{}
        << QByteArray("N  \t\r\n"
                      "?? \t\r\n"
                      "123\t\r\n");
    QTest::newRow("title beyond U+FFFF counts once")
        << QStringList{QString::fromUtf8("\U0001D11Ex")} << QList<QStringList>{{QStringLiteral("1")}}
        << QList<int>{}
        << QByteArray("?x\t\r\n"
                      "1 \t\r\n");
    QTest::newRow("lone surrogate is one character")
        << QStringList{QStringLiteral("N")}
        << QList<QStringList>{{QString(QChar(0xD800)) + QStringLiteral("1")}, {QStringLiteral("123")}}
        << QList<int>{}
        << QByteArray("N  \t\r\n"
                      "?1 \t\r\n"
                      "123\t\r\n");
    QTest::newRow("text outside Latin-1 longer than the others sets the width")
        << QStringList{QStringLiteral("N")}
        << QList<QStringList>{{QStringLiteral("12345")},
                              {QString::fromUtf8("\u20ac\u20ac\u20ac\u20ac\u20ac\u20ac")}}
        << QList<int>{}
        << QByteArray("N     \t\r\n"
                      "12345 \t\r\n"
                      "\x80\x80\x80\x80\x80\x80\t\r\n");
    {
        // A text of a megabyte or more is stored apart from the short ones.
        const QString big(1 << 20, QLatin1Char('7'));
        QByteArray expected = "N" + QByteArray(big.size() - 1, ' ') + "\t\r\n";
        expected += big.toLatin1() + "\t\r\n";
        expected += "12" + QByteArray(big.size() - 2, ' ') + "\t\r\n";
        QTest::newRow("text of a megabyte sets the width")
            << QStringList{QStringLiteral("N")} << QList<QStringList>{{big}, {QStringLiteral("12")}}
            << QList<int>{} << expected;
    }
    // The widths are found a thousand-odd rows at a time, with a yield
    // between: the longest entry counts wherever it stands.
    for (const int at : {0, 1023, 1024, 2499}) {
        QList<QStringList> rows(2500, QStringList{QStringLiteral("1")});
        rows[at] = QStringList{QStringLiteral("123456789")};
        QByteArray expected = "N        \t\r\n";
        for (int i = 0; i < rows.size(); ++i)
            expected += i == at ? "123456789\t\r\n" : "1        \t\r\n";
        QTest::addRow("longest of 2500 entries at row %d", at)
            << QStringList{QStringLiteral("N")} << rows << QList<int>{} << expected;
    }
    QTest::newRow("title outside Windows-1252") << QStringList{QString::fromUtf8("\u65e5\u672c")}
                                                << QList<QStringList>{{QStringLiteral("1")}} << QList<int>{}
                                                << QByteArray("??\t\r\n"
                                                              "1 \t\r\n");
}

void TestPaddedText::writesPaddedTable()
{
    QFETCH(QStringList, titles);
    QFETCH(QList<QStringList>, rows);
    QFETCH(QList<int>, unchecked);
    QFETCH(QByteArray, expected);

    NumberListModel model;
    fill(model, titles, rows, unchecked);
    QCOMPARE(PaddedTextBytes(model.snapshot()), expected);
    // The size reserved for a write in place.
    const NumberListSnapshot snapshot = model.snapshot();
    QCOMPARE(PaddedTextLines(snapshot, PaddedColumnWidths(snapshot, true)).byteSize(),
             qint64(expected.size()));

    // The export writes the same bytes through a file.
    const QString path = m_dir->filePath(QStringLiteral("out.txt"));
    SaveListviewProperlySpacedWithoutProgressBar(
        *m_platform, model.snapshot(), path, [this] { m_form->DoEvents(); },
        [this] { m_form->yielder().yieldNow(); });
    QCOMPARE(m_platform->messages.size(), 0);
    QCOMPARE(readAll(path), expected);
}

void TestPaddedText::savesTheListOfEachButton_data()
{
    QTest::addColumn<int>("button");

    QTest::newRow("valid list") << 4;
    QTest::newRow("invalid list") << 8;
}

void TestPaddedText::savesTheListOfEachButton()
{
    QFETCH(int, button);
    ListView *list = button == 4 ? m_form->ListView2 : m_form->ListView3;
    ListView *other = button == 4 ? m_form->ListView3 : m_form->ListView2;
    fill(*list->listModel(), {QStringLiteral("Numbers")}, {{QStringLiteral("888-342-9122")}});
    fill(*other->listModel(), {QStringLiteral("Other")}, {{QStringLiteral("not this one")}});

    // A name typed without extension is used as typed; an existing file is replaced.
    const QString path = m_dir->filePath(QStringLiteral("results"));
    QVERIFY(writeFile(path, "an older and much longer content\r\n"));
    m_platform->saveAnswers.enqueue(path);
    m_form->yielder().setIntervalMs(0);
    QList<int> pointerDuringExport;
    m_platform->onProcessEvents = [&] { pointerDuringExport.append(m_form->MousePointer()); };

    if (button == 4)
        m_form->PushButton4_Click();
    else
        m_form->PushButton8_Click();

    QCOMPARE(m_platform->saveDialogs.size(), 1);
    const FileDialogSettings &dialog = m_platform->saveDialogs.constFirst();
    QCOMPARE(dialog.flags, 2621953);
    QCOMPARE(dialog.title, QStringLiteral("Save"));
    QCOMPARE(dialog.filter, QStringLiteral("Text Files (*.txt)|*.txt|All Files (*.*)|*.*|"));
    QCOMPARE(m_form->CommonDialog1.fileName, path);
    QCOMPARE(readAll(path), QByteArray("Numbers     \t\r\n888-342-9122\t\r\n"));
    QVERIFY(!pointerDuringExport.isEmpty());
    QCOMPARE(pointerDuringExport.constFirst(), Pointer::Hourglass);
    QCOMPARE(m_form->MousePointer(), Pointer::Default);
    QCOMPARE(m_platform->messages.size(), 0); // no message confirms the save
    QCOMPARE(filesIn(m_dir->path()), QStringList{QStringLiteral("results")});
}

void TestPaddedText::largeListIsWrittenInBlocksWithTheSameBytes_data()
{
    // The file is written a stride of lines at a time, by a quicker path for
    // short ASCII lines; every line must come out as it does alone.
    QTest::addColumn<QString>("title");
    QTest::addColumn<QStringList>("texts");                              // repeated to fill the list
    const QString wide = QStringLiteral("555-\u0968\u0968\u0968\u0968"); // kept as UTF-16
    const QString pair = QStringLiteral("\U0001F4DE 555-1234");          // a surrogate pair: one "?"
    const QString latin1 = QStringLiteral("555-12\u00e934");             // a byte above 0x7f
    const QString control = QStringLiteral("555-\u0080\u0085\u009f");    // bytes Windows-1252 gives to others
    QTest::newRow("numbers") << QStringLiteral(" Valid Numbers")
                             << QStringList{QStringLiteral("555-1234"), QStringLiteral("(888) 342-9122")};
    QTest::newRow("empty and one-character texts")
        << QStringLiteral("T") << QStringList{QString(), QStringLiteral("7"), QString(), QStringLiteral("x")};
    QTest::newRow("texts of other kinds among ASCII")
        << QStringLiteral(" Invalid Numbers")
        << QStringList{QStringLiteral("342-9122"),       wide,    latin1,
                       QStringLiteral("1-888-342-9122"), control, pair};
    QTest::newRow("16 and 17 bytes") << QStringLiteral("Numbers")
                                     << QStringList{QStringLiteral("0123456789abcdef"),
                                                    QStringLiteral("0123456789abcdefg"), QStringLiteral("1")};
    QTest::newRow("widest short line")
        << QStringLiteral("Numbers") << QStringList{QString(29, u'9'), QStringLiteral("555-1234")};
    QTest::newRow("one character wider")
        << QStringLiteral("Numbers") << QStringList{QString(30, u'9'), QStringLiteral("555-1234")};
    QTest::newRow("title wider than the texts")
        << QString(27, u'T') << QStringList{QStringLiteral("555-1234")};
}

void TestPaddedText::largeListIsWrittenInBlocksWithTheSameBytes()
{
    QFETCH(QString, title);
    QFETCH(QStringList, texts);
    constexpr int kEntries = 300000;
    NumberListModel &model = *m_form->ListView2->listModel();
    model.addColumn(title);
    model.beginBatch();
    for (int i = 0; i < kEntries; ++i)
        model.append(QStringView(texts.at(i % texts.size())));
    model.endBatch();
    m_form->ListView2->ListItems.Item(1000).SetChecked(false);
    m_form->ListView2->ListItems.Item(200000).SetChecked(false);
    m_form->ListView2->ListItems.Item(kEntries).SetChecked(false);
    const QByteArray expected = PaddedTextBytes(model.snapshot());
    QVERIFY(expected.size() > (1 << 20)); // more than one block

    const QString path = m_dir->filePath(QStringLiteral("big.txt"));
    m_platform->saveAnswers.enqueue(path);
    m_form->PushButton4_Click();

    QCOMPARE(m_platform->messages.size(), 0);
    const QByteArray written = readAll(path);
    QCOMPARE(written.size(), expected.size());
    if (written != expected) {
        const qsizetype at =
            std::mismatch(written.cbegin(), written.cend(), expected.cbegin()).first - written.cbegin();
        QFAIL(qPrintable(
            QStringLiteral("first difference at byte %1: \"%2\" instead of \"%3\"")
                .arg(at)
                .arg(QString::fromLatin1(
                         written.mid(std::max<qsizetype>(0, at - 20), 40).toPercentEncoding(" ")),
                     QString::fromLatin1(
                         expected.mid(std::max<qsizetype>(0, at - 20), 40).toPercentEncoding(" ")))));
    }
    QCOMPARE(written.count("\r\n"), kEntries - 3 + 1);
}

void TestPaddedText::cancelledDialogWritesNothing()
{
    fill(*m_form->ListView2->listModel(), {QStringLiteral("N")}, {{QStringLiteral("1")}});
    m_form->CommonDialog1.fileName = m_dir->filePath(QStringLiteral("last.txt"));
    // No answer queued: the dialog answers like Cancel.
    m_form->PushButton4_Click();

    QCOMPARE(m_platform->saveDialogs.size(), 1);
    QCOMPARE(m_platform->saveDialogs.constFirst().fileName, m_dir->filePath(QStringLiteral("last.txt")));
    QCOMPARE(m_platform->messages.size(), 0);
    QCOMPARE(m_platform->processEventsCalls, 0);
    QCOMPARE(m_form->MousePointer(), Pointer::Default);
    QVERIFY(filesIn(m_dir->path()).isEmpty());
}

void TestPaddedText::unwritableTargetIsReportedOnce_data()
{
    QTest::addColumn<QString>("kind");

    QTest::newRow("folder that does not exist") << QStringLiteral("missing folder");
    QTest::newRow("name of a folder") << QStringLiteral("folder");
    QTest::newRow("full device") << QStringLiteral("device");
    QTest::newRow("read-only folder with a read-only old file") << QStringLiteral("read-only");
}

void TestPaddedText::unwritableTargetIsReportedOnce()
{
    QFETCH(QString, kind);
    fillNumbers(*m_form->ListView2->listModel(), QStringLiteral(" Valid Numbers"), 3000);

    QString path;
    QByteArray oldContent;
    std::unique_ptr<FrozenFolder> frozen;
    if (kind == QLatin1String("missing folder")) {
        path = m_dir->filePath(QStringLiteral("missing/out.txt"));
    } else if (kind == QLatin1String("folder")) {
        path = m_dir->filePath(QStringLiteral("sub"));
        QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("sub")));
    } else if (kind == QLatin1String("device")) {
        // A device node like /dev/full, made here so the real one is never at stake.
        path = m_dir->filePath(QStringLiteral("full"));
        const QByteArray native = QFile::encodeName(path);
        if (::mknod(native.constData(), S_IFCHR | 0666, makedev(1, 7)) != 0)
            QVERIFY(::mkfifo(native.constData(), 0666) == 0);
    } else {
        const QString folder = m_dir->filePath(QStringLiteral("ro"));
        QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("ro")));
        path = folder + QStringLiteral("/out.txt");
        oldContent = "old content\r\n";
        QVERIFY(writeFile(path, oldContent));
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner));
        QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
        if (::access(QFile::encodeName(folder).constData(), W_OK) == 0) {
            // Permissions do not bind the superuser; an immutable folder does.
            QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
            frozen = std::make_unique<FrozenFolder>(folder);
            if (!frozen->frozen())
                QSKIP("This user can write into a read-only folder");
        }
    }

    m_platform->saveAnswers.enqueue(path);
    m_form->PushButton4_Click();

    QCOMPARE(m_platform->messages.size(), 1);
    const FakePlatform::Message &report = m_platform->messages.constFirst();
    QCOMPARE(report.title, QStringLiteral("Application Error"));
    QCOMPARE(report.style, MsgBoxStyle::Exclamation);
    QVERIFY2(report.text.contains(kExportProcedure + QStringLiteral("at line 136\r\r")),
             qPrintable(report.text));
    QVERIFY2(report.text.startsWith(QStringLiteral("Cannot create \"") + QDir::toNativeSeparators(path)),
             qPrintable(report.text));
    QCOMPARE(m_form->MousePointer(), Pointer::Default);

    if (kind == QLatin1String("device")) {
        struct stat st
        {
        };
        QCOMPARE(::stat(QFile::encodeName(path).constData(), &st), 0);
        QVERIFY(!S_ISREG(st.st_mode)); // not replaced by a regular file
        QCOMPARE(filesIn(m_dir->path()), QStringList{QStringLiteral("full")});
    } else if (kind == QLatin1String("read-only")) {
        frozen.reset();
        QFile::setPermissions(m_dir->filePath(QStringLiteral("ro")),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QCOMPARE(readAll(path), oldContent);
        QCOMPARE(filesIn(m_dir->filePath(QStringLiteral("ro"))), QStringList{QStringLiteral("out.txt")});
    } else if (kind == QLatin1String("folder")) {
        QVERIFY(QFileInfo(path).isDir());
    }
}

void TestPaddedText::writableFileInAFolderThatTakesNoNewFileIsWrittenInPlace_data()
{
    QTest::addColumn<QString>("kind");

    QTest::newRow("writable file is written in place") << QStringLiteral("writable");
    QTest::newRow("read-only file is reported once") << QStringLiteral("read-only");
    QTest::newRow("new file is reported once") << QStringLiteral("new");
}

void TestPaddedText::writableFileInAFolderThatTakesNoNewFileIsWrittenInPlace()
{
    QFETCH(QString, kind);
    QUILLORY_RUN_ROW_UNPRIVILEGED_IF_ROOT();

    fill(*m_form->ListView2->listModel(), {QStringLiteral("Numbers")}, {{QStringLiteral("888-342-9122")}});
    const QString folder = m_dir->filePath(QStringLiteral("ro"));
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("ro")));
    const QString path = folder + QStringLiteral("/results.txt");
    const QByteArray oldContent = "an older and much longer content\r\n";
    if (kind != QLatin1String("new"))
        QVERIFY(writeFile(path, oldContent));
    if (kind == QLatin1String("read-only"))
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner));
    QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
    const auto restore = qScopeGuard(
        [&] { QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner); });
    QVERIFY(::access(QFile::encodeName(folder).constData(), W_OK) != 0);

    m_platform->saveAnswers.enqueue(path);
    m_form->PushButton4_Click();

    if (kind == QLatin1String("writable")) {
        QVERIFY2(m_platform->messages.isEmpty(), qPrintable(m_platform->messages.value(0).text));
        QCOMPARE(readAll(path), QByteArray("Numbers     \t\r\n888-342-9122\t\r\n"));
    } else {
        QCOMPARE(m_platform->messages.size(), 1);
        const QString text = m_platform->messages.constFirst().text;
        QVERIFY2(text.startsWith(QStringLiteral("Cannot create \"") + QDir::toNativeSeparators(path)),
                 qPrintable(text));
        QVERIFY2(text.contains(kExportProcedure + QStringLiteral("at line 136\r\r")), qPrintable(text));
        if (kind == QLatin1String("read-only"))
            QCOMPARE(readAll(path), oldContent);
    }
    QCOMPARE(filesIn(folder),
             kind == QLatin1String("new") ? QStringList() : QStringList{QStringLiteral("results.txt")});
    QCOMPARE(m_form->MousePointer(), Pointer::Default);
}

namespace {
enum InPlaceOutcome { Saved, Reported, Closed };
// What happens while the table is written.
enum Meanwhile { Nothing, CloseOncePartWritten, CloseOnceAllWritten, LimitFileSizeOnceOpen };

// Whether this process holds the file open.
bool isOpenHere(const QString &path)
{
    const QFileInfoList fds = QDir(QStringLiteral("/proc/self/fd")).entryInfoList(QDir::System | QDir::Files);
    return std::any_of(fds.cbegin(), fds.cend(),
                       [&](const QFileInfo &fd) { return fd.symLinkTarget() == path; });
}
} // namespace
Q_DECLARE_METATYPE(InPlaceOutcome)
Q_DECLARE_METATYPE(Meanwhile)

void TestPaddedText::inPlaceSaveKeepsTheOldFileUnlessItSucceeds_data()
{
    // The folder takes no new file, so the table is written over the old
    // file itself, on a file system of a few hundred KiB.
    QTest::addColumn<QByteArray>("fileSystem"); // ramfs reserves no room ahead
    QTest::addColumn<QByteArray>("options");
    QTest::addColumn<int>("oldBytes");
    QTest::addColumn<int>("entries"); // lines of 17 bytes
    QTest::addColumn<int>("fileSizeLimit");
    QTest::addColumn<Meanwhile>("meanwhile");
    QTest::addColumn<InPlaceOutcome>("outcome");

    const QByteArray tmpfs = "tmpfs";
    const QByteArray small = "size=300k,mode=0755";
    const QByteArray ramfs = "ramfs";
    const QByteArray unlimited = "mode=0755";
    QTest::newRow("table larger than the free space")
        << tmpfs << small << 64 * 1024 << 30000 << 0 << Nothing << Reported;
    QTest::newRow("write fails once the old bytes are overwritten")
        << tmpfs << small << 64 * 1024 << 12000 << 128 * 1024 << LimitFileSizeOnceOpen << Reported;
    QTest::newRow("table too large where the file system reserves no room")
        << ramfs << unlimited << 64 * 1024 << 30000 << 256 * 1024 << Nothing << Reported;
    // Three blocks of 1 MiB: a worker may write the first one late, but it is
    // in the file before the second is handed over, a yield before the end.
    QTest::newRow("window closed part-way through the table")
        << tmpfs << QByteArray("size=8m,mode=0755") << 64 * 1024 << 200000 << 0 << CloseOncePartWritten
        << Closed;
    QTest::newRow("window closed once all is written, while it goes to the disk")
        << tmpfs << small << 64 * 1024 << 12000 << 0 << CloseOnceAllWritten << Closed;
    QTest::newRow("table grows") << tmpfs << small << 64 * 1024 << 12000 << 0 << Nothing << Saved;
    QTest::newRow("table shrinks") << tmpfs << small << 200 * 1024 << 3000 << 0 << Nothing << Saved;
    QTest::newRow("table grows where the file system reserves no room")
        << ramfs << unlimited << 64 * 1024 << 30000 << 0 << Nothing << Saved;
}

void TestPaddedText::inPlaceSaveKeepsTheOldFileUnlessItSucceeds()
{
    QFETCH(QByteArray, fileSystem);
    QFETCH(QByteArray, options);
    QFETCH(int, oldBytes);
    QFETCH(int, entries);
    QFETCH(int, fileSizeLimit);
    QFETCH(Meanwhile, meanwhile);
    QFETCH(InPlaceOutcome, outcome);

    // Root mounts the file system; user 65534 runs the row on it.
    std::unique_ptr<SmallDisk> disk;
    if (runningAsRoot()) {
        disk = std::make_unique<SmallDisk>(fileSystem, options);
        if (!disk->ready())
            QSKIP(qPrintable(QStringLiteral("cannot mount a small %1 here: %2")
                                 .arg(QString::fromLatin1(fileSystem), disk->why())));
        qputenv(kSmallDiskVariable, QFile::encodeName(disk->path()));
    }
    const auto forget = qScopeGuard([] {
        if (runningAsRoot())
            qunsetenv(kSmallDiskVariable);
    });
    QUILLORY_RUN_ROW_UNPRIVILEGED_IF_ROOT();
    const QString diskPath = qEnvironmentVariable(kSmallDiskVariable);
    if (diskPath.isEmpty())
        QSKIP("needs a small file system of its own: run as root, which mounts one for user 65534");

    const QString folder = diskPath + QStringLiteral("/ro");
    QVERIFY(QDir(diskPath).mkdir(QStringLiteral("ro")));
    const QString path = folder + QStringLiteral("/results.txt");
    const QByteArray oldContent = scrambledBytes(oldBytes);
    QVERIFY(writeFile(path, oldContent));
    QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
    const auto restore = qScopeGuard(
        [&] { QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner); });
    QVERIFY(::access(QFile::encodeName(folder).constData(), W_OK) != 0);
    const qint64 freeBefore = freeBytes(diskPath);

    const QString title = QStringLiteral(" Valid Numbers");
    QStringList texts;
    for (int i = 0; i < entries; ++i)
        texts.append(QStringLiteral("555-") + QString::number(i * 7919LL % 100000));
    NumberListModel &model = *m_form->ListView2->listModel();
    model.addColumn(title);
    model.beginBatch();
    for (const QString &t : texts)
        model.append(QStringView(t));
    model.endBatch();
    const QByteArray table = referenceTable(title, texts);
    QCOMPARE(table.size(), (entries + 1) * 17);
    if (outcome == Reported && fileSizeLimit == 0)
        QVERIFY(table.size() - oldBytes > freeBefore);

    rlimit saved{};
    QCOMPARE(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit limited = saved;
    limited.rlim_cur = rlim_t(fileSizeLimit);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    const auto unlimit = qScopeGuard([&] {
        ::setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, oldHandler);
    });
    if (fileSizeLimit > 0 && meanwhile == Nothing)
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &limited), 0);

    m_platform->saveAnswers.enqueue(path);
    m_form->yielder().setIntervalMs(0);
    bool happened = false;
    m_platform->onProcessEvents = [&] {
        if (happened || meanwhile == Nothing)
            return;
        if (meanwhile == LimitFileSizeOnceOpen) {
            happened = isOpenHere(path) && ::setrlimit(RLIMIT_FSIZE, &limited) == 0;
            return;
        }
        const QByteArray now = readAll(path);
        if (meanwhile == CloseOnceAllWritten ? now == table : now != oldContent && now != table) {
            happened = true;
            m_form->Form_Unload();
        }
    };
    bool aborted = false;
    try {
        m_form->PushButton4_Click();
    } catch (const CommandAborted &) {
        aborted = true;
    }

    QCOMPARE(happened, meanwhile != Nothing);
    QCOMPARE(aborted, outcome == Closed);
    if (outcome == Reported) {
        QCOMPARE(m_platform->messages.size(), 1);
        const QString text = m_platform->messages.constFirst().text;
        QVERIFY2(text.contains(QLatin1Char('"') + QDir::toNativeSeparators(path) + QLatin1Char('"')),
                 qPrintable(text));
        QVERIFY2(text.contains(kExportProcedure), qPrintable(text));
    } else {
        QVERIFY2(m_platform->messages.isEmpty(), qPrintable(m_platform->messages.value(0).text));
    }
    const QByteArray after = readAll(path);
    if (outcome == Saved) {
        QCOMPARE(after.size(), table.size());
        QVERIFY2(after == table, "the file is not the new table");
    } else {
        QCOMPARE(after.size(), oldContent.size());
        QVERIFY2(after == oldContent, "the old file was not kept byte for byte");
        QCOMPARE(freeBytes(diskPath), freeBefore); // no room left held
    }
    QCOMPARE(filesIn(folder), QStringList{QStringLiteral("results.txt")});
}

void TestPaddedText::failedWriteIsReportedOnceAndKeepsTheOldFile()
{
    // A file size limit makes writes fail past a few blocks, as a full disk would.
    fillNumbers(*m_form->ListView2->listModel(), QStringLiteral(" Valid Numbers"), 400000);
    const QString path = m_dir->filePath(QStringLiteral("results.txt"));
    const QByteArray oldContent = "the previous results\r\n";
    QVERIFY(writeFile(path, oldContent));
    m_platform->saveAnswers.enqueue(path);

    rlimit saved{};
    QCOMPARE(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit limited = saved;
    limited.rlim_cur = 3 * (1 << 20) / 2;
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    QCOMPARE(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    m_form->PushButton4_Click();
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    QCOMPARE(m_platform->messages.size(), 1);
    const QString text = m_platform->messages.constFirst().text;
    QVERIFY2(text.startsWith(QStringLiteral("Cannot write \"")), qPrintable(text));
    QVERIFY2(text.contains(kExportProcedure + QStringLiteral("at line 180\r\r")), qPrintable(text));
    QCOMPARE(readAll(path), oldContent);
    QCOMPARE(filesIn(m_dir->path()), QStringList{QStringLiteral("results.txt")}); // no temporary file left
    QCOMPARE(m_form->MousePointer(), Pointer::Default);
}

void TestPaddedText::failedReplaceIsReportedOnceAndKeepsTheOldFile()
{
    fillNumbers(*m_form->ListView2->listModel(), QStringLiteral(" Valid Numbers"), 200000);
    const QString folder = m_dir->filePath(QStringLiteral("out"));
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("out")));
    const QString path = folder + QStringLiteral("/results.txt");
    const QByteArray oldContent = "the previous results\r\n";
    QVERIFY(writeFile(path, oldContent));
    m_platform->saveAnswers.enqueue(path);

    // Once the file is being written, the folder stops taking the new file.
    m_form->yielder().setIntervalMs(0);
    std::unique_ptr<FrozenFolder> frozen;
    m_platform->onProcessEvents = [&] {
        if (!frozen && bytesWrittenUnder(folder) > 0)
            frozen = std::make_unique<FrozenFolder>(folder);
    };
    m_form->PushButton4_Click();
    QVERIFY(frozen);
    if (!frozen->frozen())
        QSKIP("Folders cannot be made immutable here");
    frozen.reset();

    QCOMPARE(m_platform->messages.size(), 1);
    const QString text = m_platform->messages.constFirst().text;
    QVERIFY2(text.startsWith(QStringLiteral("Cannot save \"")), qPrintable(text));
    QVERIFY2(text.contains(kExportProcedure + QStringLiteral("at line 184\r\r")), qPrintable(text));
    QCOMPARE(readAll(path), oldContent);
    QCOMPARE(filesIn(folder), QStringList{QStringLiteral("results.txt")});
    QCOMPARE(m_form->MousePointer(), Pointer::Default);
}

void TestPaddedText::closingDuringExportLeavesNoFile_data()
{
    QTest::addColumn<bool>("fileExisted");
    // Closed once every byte is in the temporary file, while it goes to the
    // disk and the window still answers; else once part of it is written.
    QTest::addColumn<bool>("allWritten");

    QTest::newRow("new file, part written") << false << false;
    QTest::newRow("existing file, part written") << true << false;
    QTest::newRow("new file, all written, syncing") << false << true;
    QTest::newRow("existing file, all written, syncing") << true << true;
}

void TestPaddedText::closingDuringExportLeavesNoFile()
{
    QFETCH(bool, fileExisted);
    QFETCH(bool, allWritten);
    NumberListModel &model = *m_form->ListView2->listModel();
    fillNumbers(model, QStringLiteral(" Valid Numbers"), allWritten ? 20000 : 200000);
    const qint64 fullSize = PaddedTextBytes(model.snapshot()).size();
    const QString path = m_dir->filePath(QStringLiteral("results.txt"));
    const QByteArray oldContent = "the previous results\r\n";
    if (fileExisted)
        QVERIFY(writeFile(path, oldContent));
    const QStringList before = filesIn(m_dir->path());
    m_platform->saveAnswers.enqueue(path);

    if (!allWritten)
        m_form->yielder().setIntervalMs(0);
    bool closed = false;
    m_platform->onProcessEvents = [&] {
        // The file being written may have no name yet: look among the open files.
        const qint64 written = bytesWrittenUnder(m_dir->path());
        if (closed || (allWritten ? written != fullSize : written == 0))
            return;
        closed = true;
        m_form->Form_Unload();
    };

    QVERIFY_THROWS_EXCEPTION(CommandAborted, m_form->PushButton4_Click());
    QVERIFY(closed);
    QCOMPARE(filesIn(m_dir->path()), before);
    if (fileExisted)
        QCOMPARE(readAll(path), oldContent);
    QCOMPARE(m_platform->messages.size(), 0);
}

void TestPaddedText::clearingTheListDuringExportDoesNotChangeTheFile()
{
    fillNumbers(*m_form->ListView2->listModel(), QStringLiteral(" Valid Numbers"), 5000);
    const QByteArray expected = PaddedTextBytes(m_form->ListView2->listModel()->snapshot());
    const QString path = m_dir->filePath(QStringLiteral("results.txt"));
    m_platform->saveAnswers.enqueue(path);

    m_form->yielder().setIntervalMs(0);
    int yields = 0;
    m_platform->onProcessEvents = [&] {
        // "Clear Results" and new entries while the export yields.
        if (++yields == 2) {
            m_form->ListView2->ListItems.Clear();
            m_form->ListView2->ListItems.Add(QStringLiteral("a much longer entry added meanwhile"));
        }
    };
    m_form->PushButton4_Click();

    QVERIFY(yields > 2);
    QCOMPARE(m_form->ListView2->ListItems.Count(), 1);
    QCOMPARE(m_platform->messages.size(), 0);
    QCOMPARE(readAll(path), expected);
}

QTEST_MAIN(TestPaddedText)
#include "tst_paddedtext.moc"
