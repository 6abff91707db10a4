#include "app/form1.h"
#include "platform/errorreport.h"
#include "platform/qtplatform.h"
#include "unprivileged.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QInputDialog>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <functional>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

// Sets an environment variable for one test and puts the old value back.
class EnvironmentGuard
{
public:
    EnvironmentGuard(const char *name, const QByteArray &value)
        : m_name(name), m_hadValue(qEnvironmentVariableIsSet(name)), m_old(qgetenv(name))
    {
        qputenv(name, value);
    }
    ~EnvironmentGuard()
    {
        if (m_hadValue)
            qputenv(m_name, m_old);
        else
            qunsetenv(m_name);
    }
    EnvironmentGuard(const EnvironmentGuard &) = delete;
    EnvironmentGuard &operator=(const EnvironmentGuard &) = delete;

private:
    const char *m_name;
    bool m_hadValue;
    QByteArray m_old;
};

void writeFile(const QString &path, const QByteArray &contents, bool executable)
{
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(file.errorString()));
    file.write(contents);
    file.close();
    QFileDevice::Permissions permissions = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    if (executable)
        permissions |= QFileDevice::ExeOwner | QFileDevice::ExeGroup | QFileDevice::ExeOther;
    QVERIFY(file.setPermissions(permissions));
}

// Bytes of a literal, embedded NULs included.
template<std::size_t N>
QByteArray bytes(const char (&text)[N])
{
    return QByteArray(text, qsizetype(N - 1));
}

// Permission bits of a file, following links; -1 when it is missing.
int modeOf(const QString &path)
{
    struct stat info;
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 07777) : -1;
}

QString readText(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// Runs `answer` on the next modal dialog once it is open (the caller then blocks in exec()).
void whenDialogOpens(std::function<void(QWidget *)> answer)
{
    auto *timer = new QTimer(qApp);
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, answer = std::move(answer)] {
        QWidget *dialog = QApplication::activeModalWidget();
        if (!dialog || !dialog->isVisible())
            return;
        timer->stop();
        timer->deleteLater();
        answer(dialog);
        // A failed check inside `answer` must not leave the test blocked in exec().
        if (auto *open = qobject_cast<QDialog *>(dialog); open && open->isVisible())
            open->reject();
    });
    timer->start();
}

// Accepts every message box that opens while it lives and keeps their texts.
class BoxCatcher
{
public:
    // `press` is the button clicked where a box has it; other boxes are accepted.
    explicit BoxCatcher(QMessageBox::StandardButton press = QMessageBox::NoButton)
    {
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this, press] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
                box && box->isVisible()) {
                texts << box->windowTitle() + u'|' + box->text();
                if (QAbstractButton *button = box->button(press))
                    button->click();
                else
                    box->accept();
            }
        });
        m_timer.start();
    }

    QStringList texts;

private:
    QTimer m_timer;
};

// What a symbolic link says, as written.
QByteArray linkText(const QString &path)
{
    QByteArray text(4096, '\0');
    const ssize_t size = ::readlink(QFile::encodeName(path).constData(), text.data(), size_t(text.size()));
    return size < 0 ? QByteArray() : text.first(size);
}

// The file type bits of a name itself, not following a link; 0 when missing.
mode_t typeOf(const QString &path)
{
    struct stat info;
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & S_IFMT : 0;
}

// Opens a FIFO from the other end once the code under test has waited on it
// far longer than any read of a small file takes, so that a hang fails the
// test instead of stalling it.
class FifoWatchdog
{
public:
    explicit FifoWatchdog(const QString &fifo) : m_fifo(QFile::encodeName(fifo)), m_thread([this] { run(); })
    {
    }
    ~FifoWatchdog() { finish(); }
    FifoWatchdog(const FifoWatchdog &) = delete;
    FifoWatchdog &operator=(const FifoWatchdog &) = delete;

    // Stops watching; true when the code had to be released.
    bool finish()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_done = true;
        }
        m_wake.notify_all();
        if (m_thread.joinable())
            m_thread.join();
        return m_released;
    }

private:
    void run()
    {
        std::unique_lock lock(m_mutex);
        if (m_wake.wait_for(lock, std::chrono::seconds(30), [this] { return m_done; }))
            return;
        m_released = true;
        while (!m_done) {
            lock.unlock();
            // Both ends at once: releases a reader and a writer alike.
            if (const int fd = ::open(m_fifo.constData(), O_RDWR | O_NONBLOCK); fd >= 0) {
                char buffer[4096];
                while (::read(fd, buffer, sizeof buffer) > 0) {
                }
                ::close(fd);
            }
            lock.lock();
            m_wake.wait_for(lock, std::chrono::milliseconds(100), [this] { return m_done; });
        }
    }

    const QByteArray m_fifo;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_done = false;
    std::atomic<bool> m_released = false;
    std::thread m_thread; // last: it starts with everything else in place
};

// The texts of the input list, first to last.
QStringList inputEntries(Form1 &form)
{
    QStringList texts;
    for (qsizetype i = 1; i <= form.ListView1->ListItems.Count(); ++i)
        texts << form.ListView1->ListItems.Item(i).Text();
    return texts;
}

QPushButton *acceptButton(QFileDialog *files)
{
    auto *box = files->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
    return box ? box->button(files->acceptMode() == QFileDialog::AcceptOpen ? QDialogButtonBox::Open
                                                                            : QDialogButtonBox::Save)
               : nullptr;
}

// Waits until the dialog lists exactly these names, in this order: its
// model gathers and sorts them in the background.
void waitForListing(QFileDialog *files, const QStringList &names)
{
    auto *view = files->findChild<QListView *>(QStringLiteral("listView"));
    QVERIFY(view);
    const auto listed = [view] {
        QStringList shown;
        const QModelIndex root = view->rootIndex();
        for (int row = 0; row < view->model()->rowCount(root); ++row)
            shown << view->model()->index(row, 0, root).data().toString();
        return shown;
    };
    QTRY_COMPARE_WITH_TIMEOUT(listed(), names, 60000);
}

// Clicks a file's name in the dialog's list, as the user does.
void clickInList(QFileDialog *files, const QString &path, Qt::KeyboardModifiers modifiers)
{
    auto *view = files->findChild<QListView *>(QStringLiteral("listView"));
    auto *model = files->findChild<QFileSystemModel *>();
    QVERIFY(view && model);
    QTRY_VERIFY(model->index(path).isValid());
    const QModelIndex index = model->index(path);
    view->scrollTo(index);
    QTRY_VERIFY(view->visualRect(index).isValid());
    QTest::mouseClick(view->viewport(), Qt::LeftButton, modifiers, view->visualRect(index).center());
}

// Types into the dialog's name box and presses Return, as the user does.
void typeName(QFileDialog *files, const QString &typed)
{
    auto *edit = files->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
    QVERIFY(edit);
    QApplication::setActiveWindow(files);
    edit->setFocus();
    QTRY_VERIFY(edit->hasFocus());
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, typed);
    QTest::keyClick(edit, Qt::Key_Return);
}

const QString kSettingsApp = QStringLiteral("Tarvenco");

// Where QSettings kept the store, which the program must still use. Asked
// once, at the start: a QSettings object reads the file, and would wait on a
// FIFO put in its place.
QString settingsFilePath()
{
    static const QString path =
        QSettings(QSettings::IniFormat, QSettings::UserScope, kSettingsApp, QString()).fileName();
    return path;
}

} // namespace

class TestQtPlatform : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void convertsDialogFilterToQtNameFilters_data();
    void convertsDialogFilterToQtNameFilters();
    void showsCarriageReturnsAsLineBreaks_data();
    void showsCarriageReturnsAsLineBreaks();
    void answersOpenDialogInItsTextForm_data();
    void answersOpenDialogInItsTextForm();

    void messageBoxShowsPlainTextUnderApplicationTitle();
    void messageBoxStyleChoosesTheIcon_data();
    void messageBoxStyleChoosesTheIcon();
    void inputBoxAnswersTypedTextOrEmptyOnCancel_data();
    void inputBoxAnswersTypedTextOrEmptyOnCancel();
    void inputBoxTakesAMillionCharacters();
    void openDialogAnswersEveryTypedNameInOrder_data();
    void openDialogAnswersEveryTypedNameInOrder();
    void openDialogKeepsSelectionAndNavigation();
    void openDialogLoadsEveryFileOfCtrlAInOrder();
    void openDialogTakesQuotesInNames_data();
    void openDialogTakesQuotesInNames();
    void saveDialogTakesQuotesInNames_data();
    void saveDialogTakesQuotesInNames();
    void saveDialogAnswersNativePathOrEmptyOnCancel_data();
    void saveDialogAnswersNativePathOrEmptyOnCancel();

    void settingsRoundTripThroughTheUserIniFile();
    void absentSettingAnswersTheDefault();
    void sectionsKeepTheirOwnKeys();
    void savingKeepsEveryOtherByte_data();
    void savingKeepsEveryOtherByte();
    void savingThroughALinkWritesItsTarget_data();
    void savingThroughALinkWritesItsTarget();
    void specialFilesAreNeitherWaitedOnNorReplaced_data();
    void specialFilesAreNeitherWaitedOnNorReplaced();
    void failedWriteLeavesTheFileAsItWas();
    void settingsStoreFailuresGiveOneNotice_data();
    void settingsStoreFailuresGiveOneNotice();

    void shellOfMissingProgramThrows();
    void shellStartsAnExistingProgram();

    void findsSpreadsheetProgram_data();
    void findsSpreadsheetProgram();

    void clipboardRoundTrip();
    void deferredClipboardTextIsMadeWhenRead();
    void deferredClipboardTextKeepsALeadingFeff();
    void spreadsheetFolderIsCreated();

private:
    QTemporaryDir m_home;
};

void TestQtPlatform::initTestCase()
{
    // Never the developer's own settings or cache, nor those of another run
    // of this test at the same time: a FIFO put there would hold that run.
    QVERIFY(m_home.isValid());
    qputenv("HOME", QFile::encodeName(m_home.path()));
    QStandardPaths::setTestModeEnabled(true);
    QVERIFY(settingsFilePath().startsWith(m_home.path() + u'/'));
    // The application title, as start-up sets it.
    QCoreApplication::setApplicationName(QStringLiteral("Quillory"));
    QFile::remove(settingsFilePath());
}

void TestQtPlatform::cleanup()
{
    const QString path = settingsFilePath();
    if (QFileInfo(path).isDir() && !QFileInfo(path).isSymLink())
        QDir(path).removeRecursively();
    else
        QFile::remove(path);
}

void TestQtPlatform::convertsDialogFilterToQtNameFilters_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("text and all files")
        << QStringLiteral("Text Files (*.txt)|*.txt|All Files (*.*)|*.*|")
        << QStringList{QStringLiteral("Text Files (*.txt) (*.txt)"), QStringLiteral("All Files (*.*) (*)")};
    QTest::newRow("no closing bar") << QStringLiteral("Text Files (*.txt)|*.txt")
                                    << QStringList{QStringLiteral("Text Files (*.txt) (*.txt)")};
    QTest::newRow("several patterns")
        << QStringLiteral("Lists|*.txt;*.csv|") << QStringList{QStringLiteral("Lists (*.txt *.csv)")};
    QTest::newRow("description lists other patterns")
        << QStringLiteral("Numbers (*.num)|*.txt|") << QStringList{QStringLiteral("Numbers (*.num) (*.txt)")};
    QTest::newRow("missing pattern means all files")
        << QStringLiteral("Anything|") << QStringList{QStringLiteral("Anything (*)")};
    QTest::newRow("missing description shows the patterns")
        << QStringLiteral("|*.*|") << QStringList{QStringLiteral("*.* (*)")};
    QTest::newRow("empty") << QString() << QStringList();
}

void TestQtPlatform::convertsDialogFilterToQtNameFilters()
{
    QFETCH(QString, filter);
    QFETCH(QStringList, expected);
    QCOMPARE(QtPlatform::nameFilters(filter), expected);
}

void TestQtPlatform::showsCarriageReturnsAsLineBreaks_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shown");

    QTest::newRow("CR LF") << QStringLiteral("a\r\nb") << QStringLiteral("a\nb");
    QTest::newRow("two CRs make an empty line") << QStringLiteral("a\r\rb") << QStringLiteral("a\n\nb");
    QTest::newRow("LF kept") << QStringLiteral("a\nb") << QStringLiteral("a\nb");
    QTest::newRow("error report layout") << QStringLiteral("Oops\r\nin X at line 100\r\rPlease")
                                         << QStringLiteral("Oops\nin X at line 100\n\nPlease");
    QTest::newRow("markup stays text") << QStringLiteral("<b>1</b>") << QStringLiteral("<b>1</b>");
}

void TestQtPlatform::showsCarriageReturnsAsLineBreaks()
{
    QFETCH(QString, text);
    QFETCH(QString, shown);
    QCOMPARE(QtPlatform::displayText(text), shown);
}

void TestQtPlatform::answersOpenDialogInItsTextForm_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QString>("answer");

    const QChar nul(u'\0');
    const QString sep = QDir::separator();
    QTest::newRow("cancelled") << QStringList() << QString();
    QTest::newRow("one file") << QStringList{QStringLiteral("/data/lists/a.txt")}
                              << sep + QStringLiteral("data") + sep + QStringLiteral("lists") + sep
            + QStringLiteral("a.txt");
    QTest::newRow("two files keep the dialog's order")
        << QStringList{QStringLiteral("/data/lists/b.txt"), QStringLiteral("/data/lists/a.txt")}
        << sep + QStringLiteral("data") + sep + QStringLiteral("lists") + nul + QStringLiteral("b.txt") + nul
            + QStringLiteral("a.txt");
    QTest::newRow("files of two folders are named from their common folder")
        << QStringList{QStringLiteral("/data/lists/a.txt"), QStringLiteral("/data/more/b.txt")}
        << sep + QStringLiteral("data") + nul + QStringLiteral("lists") + sep + QStringLiteral("a.txt") + nul
            + QStringLiteral("more") + sep + QStringLiteral("b.txt");
    QTest::newRow("folder name that is a prefix of another")
        << QStringList{QStringLiteral("/data/list/a.txt"), QStringLiteral("/data/lists/b.txt")}
        << sep + QStringLiteral("data") + nul + QStringLiteral("list") + sep + QStringLiteral("a.txt") + nul
            + QStringLiteral("lists") + sep + QStringLiteral("b.txt");
    QTest::newRow("files in the root") << QStringList{QStringLiteral("/a.txt"), QStringLiteral("/b.txt")}
                                       << sep + nul + QStringLiteral("a.txt") + nul + QStringLiteral("b.txt");
}

void TestQtPlatform::answersOpenDialogInItsTextForm()
{
    QFETCH(QStringList, files);
    QFETCH(QString, answer);
    QCOMPARE(QtPlatform::openAnswer(files), answer);
}

void TestQtPlatform::messageBoxShowsPlainTextUnderApplicationTitle()
{
    QString title;
    QString text;
    Qt::TextFormat format = Qt::AutoText;
    whenDialogOpens([&](QWidget *dialog) {
        auto *box = qobject_cast<QMessageBox *>(dialog);
        QVERIFY(box);
        title = box->windowTitle();
        text = box->text();
        format = box->textFormat();
        box->accept();
    });
    QtPlatform().MsgBox(QStringLiteral("Results <b>copied</b>.\r\rClick"), 0, QString());
    QCOMPARE(title, QStringLiteral("Quillory"));
    QCOMPARE(text, QStringLiteral("Results <b>copied</b>.\n\nClick"));
    QCOMPARE(format, Qt::PlainText);
}

void TestQtPlatform::messageBoxStyleChoosesTheIcon_data()
{
    QTest::addColumn<int>("style");
    QTest::addColumn<int>("icon");

    QTest::newRow("OK only") << 0 << int(QMessageBox::NoIcon);
    QTest::newRow("exclamation") << 48 << int(QMessageBox::Warning);
}

void TestQtPlatform::messageBoxStyleChoosesTheIcon()
{
    QFETCH(int, style);
    QFETCH(int, icon);
    int shownIcon = -1;
    QString title;
    QMessageBox::StandardButtons buttons;
    whenDialogOpens([&](QWidget *dialog) {
        auto *box = qobject_cast<QMessageBox *>(dialog);
        QVERIFY(box);
        shownIcon = box->icon();
        title = box->windowTitle();
        buttons = box->standardButtons();
        box->accept();
    });
    QtPlatform().MsgBox(QStringLiteral("x"), style, QStringLiteral("Application Error"));
    QCOMPARE(shownIcon, icon);
    QCOMPARE(title, QStringLiteral("Application Error"));
    QCOMPARE(buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
}

void TestQtPlatform::inputBoxAnswersTypedTextOrEmptyOnCancel_data()
{
    QTest::addColumn<bool>("accept");
    QTest::addColumn<QString>("answer");

    QTest::newRow("OK") << true << QStringLiteral("555-1234, 555-9876");
    QTest::newRow("Cancel") << false << QString();
}

void TestQtPlatform::inputBoxAnswersTypedTextOrEmptyOnCancel()
{
    QFETCH(bool, accept);
    QFETCH(QString, answer);
    QString label;
    QString title;
    QString startText = QStringLiteral("not read");
    whenDialogOpens([&](QWidget *dialog) {
        auto *input = qobject_cast<QInputDialog *>(dialog);
        QVERIFY(input);
        label = input->labelText();
        title = input->windowTitle();
        startText = input->textValue();
        auto *edit = input->findChild<QLineEdit *>();
        QVERIFY(edit);
        QTest::keyClicks(edit, QStringLiteral("555-1234, 555-9876"));
        if (accept)
            input->accept();
        else
            input->reject();
    });
    QCOMPARE(QtPlatform().InputBox(QStringLiteral("Enter numbers"), QStringLiteral("Add")), answer);
    QCOMPARE(label, QStringLiteral("Enter numbers"));
    QCOMPARE(title, QStringLiteral("Add"));
    QCOMPARE(startText, QString());
}

void TestQtPlatform::inputBoxTakesAMillionCharacters()
{
    // 90,910 numbers joined by commas: 1,000,009 characters, pasted into the
    // prompt of the real command.
    QStringList numbers;
    for (int i = 0; i < 90910; ++i)
        numbers << QStringLiteral("%1").arg(8883420000LL + i);
    const QString text = numbers.join(u',');
    QVERIFY(text.size() > 1000000);

    QtPlatform platform;
    Form1 form(platform);
    bool pasted = false;
    whenDialogOpens([&](QWidget *dialog) {
        auto *input = qobject_cast<QInputDialog *>(dialog);
        QVERIFY(input);
        auto *edit = input->findChild<QLineEdit *>();
        QVERIFY(edit);
        QGuiApplication::clipboard()->setText(text);
        edit->paste();
        pasted = edit->text() == text;
        input->accept();
    });
    form.PushButton6_Click();
    QVERIFY2(pasted, "the prompt did not take the whole text");
    QCOMPARE(form.ListView1->ListItems.Count(), numbers.size());
    QCOMPARE(form.ListView1->ListItems.Item(1).Text(), numbers.front());
    QCOMPARE(form.ListView1->ListItems.Item(numbers.size()).Text(), numbers.back());
}

void TestQtPlatform::openDialogAnswersEveryTypedNameInOrder_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("names"); // the answer's names, in order

    QTest::newRow("missing name in the middle")
        << QStringLiteral("\"a.txt\" \"gone.txt\" \"b.txt\"")
        << QStringList{QStringLiteral("a.txt"), QStringLiteral("gone.txt"), QStringLiteral("b.txt")};
    QTest::newRow("missing name last")
        << QStringLiteral("\"a.txt\" \"b.txt\" \"gone.txt\"")
        << QStringList{QStringLiteral("a.txt"), QStringLiteral("b.txt"), QStringLiteral("gone.txt")};
    QTest::newRow("order as typed") << QStringLiteral("\"b.txt\" \"a.txt\"")
                                    << QStringList{QStringLiteral("b.txt"), QStringLiteral("a.txt")};
    QTest::newRow("one missing name")
        << QStringLiteral("gone.txt") << QStringList{QStringLiteral("gone.txt")};
    QTest::newRow("one existing name") << QStringLiteral("a.txt") << QStringList{QStringLiteral("a.txt")};
}

void TestQtPlatform::openDialogAnswersEveryTypedNameInOrder()
{
    QFETCH(QString, typed);
    QFETCH(QStringList, names);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    writeFile(dir.filePath(QStringLiteral("a.txt")), "1\n", false);
    writeFile(dir.filePath(QStringLiteral("b.txt")), "2\n", false);

    BoxCatcher boxes; // Qt's own "File not found" warning, should it come
    QString title;
    whenDialogOpens([&](QWidget *dialog) {
        auto *files = qobject_cast<QFileDialog *>(dialog);
        QVERIFY(files);
        title = files->windowTitle();
        auto *edit = files->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        QVERIFY(edit);
        // Typed as a user types: the field has the focus meanwhile.
        QApplication::setActiveWindow(files);
        edit->setFocus();
        QTRY_VERIFY(edit->hasFocus());
        edit->clear();
        QTest::keyClicks(edit, typed);
        QTest::keyClick(edit, Qt::Key_Return);
    });
    FileDialogSettings settings;
    settings.flags = 0x200;
    settings.title = QStringLiteral("Load List(s) - Hold Ctrl to select multiple list files");
    settings.filter = QStringLiteral("Text Files (*.txt)|*.txt|All Files (*.*)|*.*|");
    settings.fileName = dir.filePath(QStringLiteral("a.txt"));
    const QString answer = QtPlatform().ShowOpen(settings);

    const QString folder = QDir::toNativeSeparators(QDir::cleanPath(dir.path()));
    const QString expected = names.size() == 1 ? folder + QDir::separator() + names.front()
                                               : folder + QChar(u'\0') + names.join(QChar(u'\0'));
    QCOMPARE(answer, expected);
    QCOMPARE(boxes.texts, QStringList());
    QCOMPARE(title, settings.title);
}

void TestQtPlatform::openDialogKeepsSelectionAndNavigation()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("sub")));
    writeFile(dir.filePath(QStringLiteral("sub/c.txt")), "3\n", false);

    QString folderAfterTyping;
    bool stillOpen = false;
    int selectionMode = -1;
    whenDialogOpens([&](QWidget *dialog) {
        auto *files = qobject_cast<QFileDialog *>(dialog);
        QVERIFY(files);
        auto *view = files->findChild<QAbstractItemView *>(QStringLiteral("listView"));
        QVERIFY(view);
        selectionMode = view->selectionMode();
        auto *edit = files->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        QVERIFY(edit);
        QApplication::setActiveWindow(files);
        edit->setFocus();
        edit->clear();
        QTest::keyClicks(edit, QStringLiteral("sub"));
        QTest::keyClick(edit, Qt::Key_Return);
        stillOpen = files->isVisible();
        folderAfterTyping = QDir::cleanPath(files->directory().absolutePath());
        edit->setText(QStringLiteral("c.txt"));
        static_cast<QDialog *>(files)->accept();
    });
    FileDialogSettings settings;
    settings.flags = 0x200;
    settings.filter = QStringLiteral("Text Files (*.txt)|*.txt|All Files (*.*)|*.*|");
    settings.fileName = dir.filePath(QStringLiteral("x.txt"));
    const QString answer = QtPlatform().ShowOpen(settings);
    QCOMPARE(selectionMode, int(QAbstractItemView::ExtendedSelection));
    QVERIFY(stillOpen);
    QCOMPARE(folderAfterTyping, QDir::cleanPath(dir.filePath(QStringLiteral("sub"))));
    QCOMPARE(answer, QDir::toNativeSeparators(dir.filePath(QStringLiteral("sub/c.txt"))));
}

void TestQtPlatform::openDialogLoadsEveryFileOfCtrlAInOrder()
{
    // Far more names than a line edit holds by default (32,767 characters).
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const int count = 3000;
    for (int i = 0; i < count; ++i) {
        const QString name = QStringLiteral("numbers list %1.txt").arg(count - i, 5, 10, QLatin1Char('0'));
        writeFile(dir.filePath(name), name.toUtf8(), false);
    }
    // Each file holds its own name; the list shows them sorted by name.
    const QStringList expected = QDir(dir.path()).entryList(QDir::Files, QDir::Name);
    QCOMPARE(expected.size(), count);

    QtPlatform platform;
    Form1 form(platform);
    BoxCatcher boxes;
    whenDialogOpens([&](QWidget *dialog) {
        auto *files = qobject_cast<QFileDialog *>(dialog);
        QVERIFY(files);
        files->setDirectory(dir.path());
        waitForListing(files, expected);
        auto *view = files->findChild<QListView *>(QStringLiteral("listView"));
        QVERIFY(view);
        QApplication::setActiveWindow(files);
        view->setFocus();
        QTest::keyClick(view, Qt::Key_A, Qt::ControlModifier);
        QPushButton *open = acceptButton(files);
        QVERIFY(open);
        QTest::mouseClick(open, Qt::LeftButton);
    });
    form.PushButton3_Click();
    QCOMPARE(boxes.texts, QStringList());
    const QStringList loaded = inputEntries(form);
    QCOMPARE(loaded.size(), expected.size());
    QCOMPARE(loaded, expected);
}

void TestQtPlatform::openDialogTakesQuotesInNames_data()
{
    QTest::addColumn<QStringList>("picked"); // clicked in the list, the later ones with Ctrl
    QTest::addColumn<QString>("typed");      // then typed into the name box, if any
    QTest::addColumn<QStringList>("loaded");
    QTest::addColumn<int>("notFound");

    const QString quoted = QStringLiteral("5\"55.txt");
    const QString plain = QStringLiteral("a.txt");
    QTest::newRow("picked in the list")
        << QStringList{quoted} << QString() << QStringList{QStringLiteral("555")} << 0;
    QTest::newRow("two picked with Ctrl") << QStringList{quoted, plain} << QString()
                                          << QStringList{QStringLiteral("555"), QStringLiteral("a")} << 0;
    QTest::newRow("picked in another order: the list's order")
        << QStringList{plain, quoted} << QString() << QStringList{QStringLiteral("555"), QStringLiteral("a")}
        << 0;
    QTest::newRow("typed") << QStringList() << quoted << QStringList{QStringLiteral("555")} << 0;
    QTest::newRow("typed in a quoted list, the quote doubled")
        << QStringList() << QStringLiteral("\"a.txt\" \"5\"\"55.txt\"")
        << QStringList{QStringLiteral("a"), QStringLiteral("555")} << 0;
    QTest::newRow("typed name with quoted words") << QStringList() << QStringLiteral("my \"best\" list.txt")
                                                  << QStringList{QStringLiteral("best list")} << 0;
    QTest::newRow("typed after picking")
        << QStringList{plain} << quoted << QStringList{QStringLiteral("555")} << 0;
    QTest::newRow("typed missing name")
        << QStringList() << QStringLiteral("no \"such\" file.txt") << QStringList() << 1;
}

void TestQtPlatform::openDialogTakesQuotesInNames()
{
    QFETCH(QStringList, picked);
    QFETCH(QString, typed);
    QFETCH(QStringList, loaded);
    QFETCH(int, notFound);

    // Files named by the pieces a split at the quotes would give, too.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    writeFile(dir.filePath(QStringLiteral("5\"55.txt")), "555", false);
    writeFile(dir.filePath(QStringLiteral("55.txt")), "55", false);
    writeFile(dir.filePath(QStringLiteral("5")), "5", false);
    writeFile(dir.filePath(QStringLiteral("a.txt")), "a", false);
    writeFile(dir.filePath(QStringLiteral("my \"best\" list.txt")), "best list", false);
    writeFile(dir.filePath(QStringLiteral("best")), "best", false);

    QtPlatform platform;
    Form1 form(platform);
    BoxCatcher boxes;
    whenDialogOpens([&](QWidget *dialog) {
        auto *files = qobject_cast<QFileDialog *>(dialog);
        QVERIFY(files);
        files->setDirectory(dir.path());
        waitForListing(files, QDir(dir.path()).entryList({QStringLiteral("*.txt")}, QDir::Files, QDir::Name));
        QApplication::setActiveWindow(files);
        for (qsizetype i = 0; i < picked.size(); ++i)
            clickInList(files, dir.filePath(picked[i]), i == 0 ? Qt::NoModifier : Qt::ControlModifier);
        if (!typed.isEmpty()) {
            typeName(files, typed);
        } else {
            QPushButton *open = acceptButton(files);
            QVERIFY(open);
            QTest::mouseClick(open, Qt::LeftButton);
        }
    });
    form.PushButton3_Click();
    QCOMPARE(inputEntries(form), loaded);
    QCOMPARE(boxes.texts, QStringList(notFound, QStringLiteral("Quillory|File not found")));
}

void TestQtPlatform::saveDialogTakesQuotesInNames_data()
{
    QTest::addColumn<QString>("picked"); // clicked in the list, if any
    QTest::addColumn<QString>("typed");  // typed into the name box, if any
    QTest::addColumn<QString>("written");

    QTest::newRow("typed name with quoted words")
        << QString() << QStringLiteral("my \"best\" list.txt") << QStringLiteral("my \"best\" list.txt");
    QTest::newRow("typed name with a quote")
        << QString() << QStringLiteral("5\"55.txt") << QStringLiteral("5\"55.txt");
    QTest::newRow("typed name in quotes")
        << QString() << QStringLiteral("\"valid numbers.txt\"") << QStringLiteral("valid numbers.txt");
    QTest::newRow("picked in the list, replaced when confirmed")
        << QStringLiteral("old \"x\".txt") << QString() << QStringLiteral("old \"x\".txt");
}

void TestQtPlatform::saveDialogTakesQuotesInNames()
{
    QFETCH(QString, picked);
    QFETCH(QString, typed);
    QFETCH(QString, written);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    writeFile(dir.filePath(QStringLiteral("old \"x\".txt")), "old", false);
    QStringList expectedFiles = QDir(dir.path()).entryList(QDir::Files);
    if (!expectedFiles.contains(written))
        expectedFiles << written;
    expectedFiles.sort();

    QtPlatform platform;
    Form1 form(platform);
    form.ListView2->ColumnHeaders.Add(QStringLiteral(" Valid Numbers"));
    form.ListView2->ListItems.Add(QStringLiteral("888-342-9122"));
    BoxCatcher boxes(QMessageBox::Yes);
    whenDialogOpens([&](QWidget *dialog) {
        auto *files = qobject_cast<QFileDialog *>(dialog);
        QVERIFY(files);
        files->setDirectory(dir.path());
        QApplication::setActiveWindow(files);
        if (!picked.isEmpty()) {
            clickInList(files, dir.filePath(picked), Qt::NoModifier);
            QPushButton *save = acceptButton(files);
            QVERIFY(save);
            QTest::mouseClick(save, Qt::LeftButton);
        } else {
            typeName(files, typed);
        }
    });
    form.PushButton4_Click();
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files, QDir::Name), expectedFiles);
    QVERIFY2(readText(dir.filePath(written)).contains(QStringLiteral("888-342-9122")),
             qPrintable(readText(dir.filePath(written))));
    QCOMPARE(boxes.texts.size(), picked.isEmpty() ? 0 : 1); // the question before replacing
}

void TestQtPlatform::saveDialogAnswersNativePathOrEmptyOnCancel_data()
{
    QTest::addColumn<bool>("accept");
    QTest::newRow("Save") << true;
    QTest::newRow("Cancel") << false;
}

void TestQtPlatform::saveDialogAnswersNativePathOrEmptyOnCancel()
{
    QFETCH(bool, accept);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("valid numbers.txt"));
    QString title;
    QStringList shownFilters;
    QStringList allFilesPatterns;
    bool confirmsOverwrite = false;
    whenDialogOpens([&](QWidget *dialog) {
        auto *files = qobject_cast<QFileDialog *>(dialog);
        QVERIFY(files);
        title = files->windowTitle();
        auto *types = files->findChild<QComboBox *>(QStringLiteral("fileTypeCombo"));
        QVERIFY(types);
        for (int i = 0; i < types->count(); ++i)
            shownFilters << types->itemText(i);
        // Choosing "All Files (*.*)" lists every file, also those without a dot.
        files->selectNameFilter(files->nameFilters().value(1));
        auto *model = files->findChild<QFileSystemModel *>();
        QVERIFY(model);
        allFilesPatterns = model->nameFilters();
        confirmsOverwrite = !files->testOption(QFileDialog::DontConfirmOverwrite);
        if (accept)
            static_cast<QDialog *>(files)->accept(); // runs QFileDialog's own accept()
        else
            files->reject();
    });
    FileDialogSettings settings;
    settings.fileName = path;
    settings.title = QStringLiteral("Save");
    settings.filter = QStringLiteral("Text Files (*.txt)|*.txt|All Files (*.*)|*.*|");
    const QString answer = QtPlatform().ShowSave(settings);
    QCOMPARE(answer, accept ? QDir::toNativeSeparators(path) : QString());
    QCOMPARE(title, QStringLiteral("Save"));
    QCOMPARE(shownFilters,
             (QStringList{QStringLiteral("Text Files (*.txt)"), QStringLiteral("All Files (*.*)")}));
    QCOMPARE(allFilesPatterns, QStringList{QStringLiteral("*")});
    QVERIFY(confirmsOverwrite);
}

void TestQtPlatform::settingsRoundTripThroughTheUserIniFile()
{
    QtPlatform platform;
    platform.SaveSetting(kSettingsApp, QStringLiteral("Quillory"), QStringLiteral("Check1"),
                         QStringLiteral("0"));
    platform.SaveSetting(kSettingsApp, QStringLiteral("Quillory"), QStringLiteral("Check2"),
                         QStringLiteral("1"));
    QCOMPARE(platform.GetSetting(kSettingsApp, QStringLiteral("Quillory"), QStringLiteral("Check1"),
                                 QStringLiteral("1")),
             QStringLiteral("0"));
    QCOMPARE(platform.GetSetting(kSettingsApp, QStringLiteral("Quillory"), QStringLiteral("Check2"),
                                 QStringLiteral("0")),
             QStringLiteral("1"));

    // One INI file named after the application, one group per section.
    const QString path = settingsFilePath();
    QCOMPARE(QFileInfo(path).fileName(), QStringLiteral("Tarvenco.ini"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
    const QByteArray contents = file.readAll();
    QVERIFY2(contents.contains("[Quillory]\nCheck1=0\nCheck2=1\n"), contents.constData());
}

void TestQtPlatform::absentSettingAnswersTheDefault()
{
    QtPlatform platform;
    QCOMPARE(platform.GetSetting(kSettingsApp, QStringLiteral("Quillory"), QStringLiteral("Check3"),
                                 QStringLiteral("1")),
             QStringLiteral("1"));
    QVERIFY(!QFileInfo::exists(settingsFilePath())); // reading creates nothing
}

void TestQtPlatform::sectionsKeepTheirOwnKeys()
{
    QtPlatform platform;
    platform.SaveSetting(kSettingsApp, QStringLiteral("Quillory"), QStringLiteral("Check1"),
                         QStringLiteral("0"));
    QCOMPARE(platform.GetSetting(kSettingsApp, QStringLiteral("Other"), QStringLiteral("Check1"),
                                 QStringLiteral("default")),
             QStringLiteral("default"));
    QCOMPARE(platform.GetSetting(QStringLiteral("OtherMaker"), QStringLiteral("Quillory"),
                                 QStringLiteral("Check1"), QStringLiteral("default")),
             QStringLiteral("default"));
}

void TestQtPlatform::savingKeepsEveryOtherByte_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<QByteArray>("expected"); // after Check1 is saved as "0"

    QTest::newRow("other programs' values, comments and CR LF")
        << QByteArray("; Shared by the maker's programs\r\n"
                      "[Other]\r\n"
                      "LastFile=C:\\Users\\bob\\numbers.txt\r\n"
                      "Name=caf\xE9\r\n"
                      "Path=/home/bob/x;y\r\n"
                      "At=@home\r\n"
                      "Recent=a.txt,b.txt\r\n"
                      "Window Pos = 10\r\n"
                      "Zeta=1\r\n"
                      "Alpha=2\r\n"
                      "\r\n"
                      "[Quillory]\r\n"
                      "Check2=1\r\n"
                      "# the next program's part\r\n"
                      "[Later]\r\n"
                      "x=y\r\n")
        << QByteArray("; Shared by the maker's programs\r\n"
                      "[Other]\r\n"
                      "LastFile=C:\\Users\\bob\\numbers.txt\r\n"
                      "Name=caf\xE9\r\n"
                      "Path=/home/bob/x;y\r\n"
                      "At=@home\r\n"
                      "Recent=a.txt,b.txt\r\n"
                      "Window Pos = 10\r\n"
                      "Zeta=1\r\n"
                      "Alpha=2\r\n"
                      "\r\n"
                      "[Quillory]\r\n"
                      "Check2=1\r\n"
                      "Check1=0\r\n"
                      "# the next program's part\r\n"
                      "[Later]\r\n"
                      "x=y\r\n");
    QTest::newRow("byte-order mark and a comment")
        << QByteArray("\xEF\xBB\xBF; mine\n[Quillory]\nCheck1 = 1\n")
        << QByteArray("\xEF\xBB\xBF; mine\n[Quillory]\nCheck1 = 0\n");
    QTest::newRow("another program's unclosed header")
        << QByteArray("[Other]\nname=kept\n[Broken\nCheck1=1\n[Quillory]\nCheck2=0\n")
        << QByteArray("[Other]\nname=kept\n[Broken\nCheck1=1\n[Quillory]\nCheck2=0\nCheck1=0\n");
    QTest::newRow("bytes that are not a settings file")
        << bytes("\x01\xFF\x80\x7F garbage\rmore\r\x00tail")
        << bytes("\x01\xFF\x80\x7F garbage\rmore\r\x00tail\r\r[Quillory]\rCheck1=0\r");
}

void TestQtPlatform::savingKeepsEveryOtherByte()
{
    QFETCH(QByteArray, stored);
    QFETCH(QByteArray, expected);

    const QString path = settingsFilePath();
    QVERIFY(QDir().mkpath(QFileInfo(path).path()));
    writeFile(path, stored, false);
    QCOMPARE(::chmod(QFile::encodeName(path).constData(), 0604), 0); // an unusual mode, to see it kept

    BoxCatcher boxes;
    QtPlatform platform;
    const QString section = QStringLiteral("Quillory");
    QCOMPARE(platform.GetSetting(kSettingsApp, section, QStringLiteral("Check1"), QStringLiteral("1")),
             QStringLiteral("1"));
    platform.SaveSetting(kSettingsApp, section, QStringLiteral("Check1"), QStringLiteral("0"));
    QCOMPARE(boxes.texts, QStringList()); // the value was written: no word of failure

    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), expected);
    QCOMPARE(modeOf(path), 0604);
    QCOMPARE(platform.GetSetting(kSettingsApp, section, QStringLiteral("Check1"), QStringLiteral("1")),
             QStringLiteral("0"));
}

void TestQtPlatform::savingThroughALinkWritesItsTarget_data()
{
    QTest::addColumn<QString>("kind");

    QTest::newRow("absolute link") << QStringLiteral("absolute");
    QTest::newRow("relative link") << QStringLiteral("relative");
    QTest::newRow("link to a link") << QStringLiteral("chain");
    QTest::newRow("link to a missing file") << QStringLiteral("missing");
}

void TestQtPlatform::savingThroughALinkWritesItsTarget()
{
    QFETCH(QString, kind);

    QTemporaryDir elsewhere;
    QVERIFY(elsewhere.isValid());
    const QString target = elsewhere.filePath(QStringLiteral("shared.ini"));
    const QString middle = elsewhere.filePath(QStringLiteral("middle.ini"));
    const QString path = settingsFilePath();
    const QString folder = QFileInfo(path).path();
    QVERIFY(QDir().mkpath(folder));
    if (kind != QStringLiteral("missing")) {
        writeFile(target, "; kept\n[Quillory]\nCheck2=0\n", false);
        QCOMPARE(::chmod(QFile::encodeName(target).constData(), 0640), 0);
    }
    QByteArray link = QFile::encodeName(target);
    if (kind == QStringLiteral("relative"))
        link = QFile::encodeName(QDir(folder).relativeFilePath(target));
    if (kind == QStringLiteral("chain")) {
        QCOMPARE(::symlink(QFile::encodeName(target).constData(), QFile::encodeName(middle).constData()), 0);
        link = QFile::encodeName(middle);
    }
    QCOMPARE(::symlink(link.constData(), QFile::encodeName(path).constData()), 0);

    BoxCatcher boxes;
    QtPlatform platform;
    platform.SaveSetting(kSettingsApp, QStringLiteral("Quillory"), QStringLiteral("Check1"),
                         QStringLiteral("0"));
    QCOMPARE(boxes.texts, QStringList());

    QCOMPARE(linkText(path), link); // the link still points where it pointed
    if (kind == QStringLiteral("chain"))
        QCOMPARE(linkText(middle), QFile::encodeName(target));
    QCOMPARE(typeOf(target), mode_t(S_IFREG));
    QFile file(target);
    QVERIFY(file.open(QIODevice::ReadOnly));
    if (kind == QStringLiteral("missing")) {
        QCOMPARE(file.readAll(), QByteArray("[Quillory]\nCheck1=0\n"));
    } else {
        QCOMPARE(file.readAll(), QByteArray("; kept\n[Quillory]\nCheck2=0\nCheck1=0\n"));
        QCOMPARE(modeOf(target), 0640);
    }
    // Nothing else was left beside the target.
    QCOMPARE(QDir(elsewhere.path())
                 .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
             kind == QStringLiteral("chain")
                 ? QStringList({QStringLiteral("middle.ini"), QStringLiteral("shared.ini")})
                 : QStringList{QStringLiteral("shared.ini")});
}

void TestQtPlatform::specialFilesAreNeitherWaitedOnNorReplaced_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("linked"); // the settings file is a link to it

    QTest::newRow("FIFO in place") << QStringLiteral("fifo") << false;
    QTest::newRow("link to a FIFO") << QStringLiteral("fifo") << true;
    QTest::newRow("device in place") << QStringLiteral("device") << false;
    QTest::newRow("link to a device") << QStringLiteral("device") << true;
    QTest::newRow("link to a folder") << QStringLiteral("folder") << true;
}

void TestQtPlatform::specialFilesAreNeitherWaitedOnNorReplaced()
{
    QFETCH(QString, kind);
    QFETCH(bool, linked);

    QTemporaryDir elsewhere;
    QVERIFY(elsewhere.isValid());
    const QString path = settingsFilePath();
    QVERIFY(QDir().mkpath(QFileInfo(path).path()));
    QString special = linked ? elsewhere.filePath(QStringLiteral("special")) : path;
    const QByteArray name = QFile::encodeName(special);
    mode_t type = 0;
    if (kind == QStringLiteral("fifo")) {
        QCOMPARE(::mkfifo(name.constData(), 0600), 0);
        type = S_IFIFO;
    } else if (kind == QStringLiteral("folder")) {
        QVERIFY(QDir().mkpath(special));
        type = S_IFDIR;
    } else {
        // A node of our own for the null device, so that a fault replaces
        // nothing of the system's; only root can make one.
        type = S_IFCHR;
        if (::mknod(name.constData(), S_IFCHR | 0666, makedev(1, 3)) != 0) {
            if (!linked || runningAsRoot())
                QSKIP("cannot make a device node here: a device in the file's place cannot be tried");
            special = QStringLiteral("/dev/null"); // out of an unprivileged user's reach
        }
    }
    if (linked)
        QCOMPARE(::symlink(QFile::encodeName(special).constData(), QFile::encodeName(path).constData()), 0);

    // A fault may write into a FIFO that nobody reads.
    const auto oldPipeHandler = std::signal(SIGPIPE, SIG_IGN);
    auto restorePipeHandler = qScopeGuard([&] { std::signal(SIGPIPE, oldPipeHandler); });

    BoxCatcher boxes;
    {
        FifoWatchdog watchdog(special);
        QtPlatform platform;
        for (const QString &key :
             {QStringLiteral("Check1"), QStringLiteral("Check2"), QStringLiteral("Check3")}) {
            QCOMPARE(platform.GetSetting(kSettingsApp, QStringLiteral("Quillory"), key, QStringLiteral("1")),
                     QStringLiteral("1"));
            platform.SaveSetting(kSettingsApp, QStringLiteral("Quillory"), key, QStringLiteral("0"));
        }
        QVERIFY2(!watchdog.finish(), "reading or saving the settings waited on the FIFO until it was opened");
    }

    QCOMPARE(typeOf(special), type);
    if (linked)
        QCOMPARE(linkText(path), QFile::encodeName(special));
    QCOMPARE(boxes.texts.size(), 1);
    QVERIFY2(boxes.texts.front().contains(QDir::toNativeSeparators(path) + QStringLiteral(": ")),
             qPrintable(boxes.texts.front()));
}

void TestQtPlatform::failedWriteLeavesTheFileAsItWas()
{
    // Another program's long group, then ours: the new file cannot be
    // written whole under a file size limit below its size.
    QByteArray stored = "[Other]\n";
    for (int i = 0; i < 400; ++i)
        stored += "Entry" + QByteArray::number(i) + "=some text of another program\n";
    stored += "[Quillory]\nCheck1=1\n";
    const QString path = settingsFilePath();
    const QString folder = QFileInfo(path).path();
    QVERIFY(QDir().mkpath(folder));
    writeFile(path, stored, false);

    struct rlimit old;
    QCOMPARE(::getrlimit(RLIMIT_FSIZE, &old), 0);
    struct rlimit small = old;
    small.rlim_cur = rlim_t(stored.size() / 2);
    const auto oldSizeHandler = std::signal(SIGXFSZ, SIG_IGN); // the write fails with EFBIG instead
    QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
    auto restore = qScopeGuard([&] {
        ::setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldSizeHandler);
    });

    BoxCatcher boxes;
    QtPlatform platform;
    platform.SaveSetting(kSettingsApp, QStringLiteral("Quillory"), QStringLiteral("Check1"),
                         QStringLiteral("0"));
    restore.dismiss();
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldSizeHandler);

    QCOMPARE(boxes.texts.size(), 1); // the value did not reach the file: the user hears of it
    QVERIFY2(boxes.texts.front().startsWith(QStringLiteral("Quillory|Cannot save the setting in ")
                                            + QDir::toNativeSeparators(path) + QStringLiteral(": ")),
             qPrintable(boxes.texts.front()));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), stored);
    const QStringList left = QDir(folder).entryList({QFileInfo(path).fileName() + u'*'},
                                                    QDir::AllEntries | QDir::Hidden | QDir::System);
    QCOMPARE(left, QStringList{QFileInfo(path).fileName()});
    QCOMPARE(platform.GetSetting(kSettingsApp, QStringLiteral("Quillory"), QStringLiteral("Check1"),
                                 QStringLiteral("1")),
             QStringLiteral("1"));
}

void TestQtPlatform::settingsStoreFailuresGiveOneNotice_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("stored"); // file contents; empty for no file
    QTest::addColumn<bool>("notice");    // whether the three writes of "1" need a word

    const QString allOn = QStringLiteral("[Quillory]\nCheck1=1\nCheck2=1\nCheck3=1\n");
    const QString oneOff = QStringLiteral("[Quillory]\nCheck1=0\n");
    QTest::newRow("folder named like the file") << QStringLiteral("folder") << QString() << true;
    QTest::newRow("read-only file, values already there")
        << QStringLiteral("read-only file") << allOn << false;
    QTest::newRow("read-only file, values differ") << QStringLiteral("read-only file") << oneOff << true;
    QTest::newRow("read-only folder, no file") << QStringLiteral("read-only folder") << QString() << true;
    QTest::newRow("read-only folder, values differ") << QStringLiteral("read-only folder") << oneOff << true;
    QTest::newRow("read-only folder, values already there")
        << QStringLiteral("read-only folder") << allOn << false;
    QTest::newRow("unreadable file") << QStringLiteral("unreadable file") << oneOff << true;
}

void TestQtPlatform::settingsStoreFailuresGiveOneNotice()
{
    QFETCH(QString, kind);
    QFETCH(QString, stored);
    QFETCH(bool, notice);

    // A folder in the file's place stops root as well.
    if (kind != QStringLiteral("folder"))
        QUILLORY_RUN_ROW_UNPRIVILEGED_IF_ROOT();

    const QString path = settingsFilePath();
    const QString folder = QFileInfo(path).path();
    QVERIFY(QDir().mkpath(folder));
    if (kind == QStringLiteral("folder"))
        QVERIFY(QDir().mkpath(path));
    else if (!stored.isEmpty())
        writeFile(path, stored.toUtf8(), false);
    const auto readOnly = QFileDevice::ReadOwner | QFileDevice::ExeOwner;
    auto restore = qScopeGuard([&] {
        QFile::setPermissions(folder, readOnly | QFileDevice::WriteOwner);
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    });
    if (kind == QStringLiteral("read-only file"))
        QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner));
    else if (kind == QStringLiteral("unreadable file"))
        QVERIFY(QFile::setPermissions(path, QFileDevice::WriteOwner));
    else if (kind == QStringLiteral("read-only folder"))
        QVERIFY(QFile::setPermissions(folder, readOnly));

    BoxCatcher boxes;
    QtPlatform platform;
    for (const QString &key :
         {QStringLiteral("Check1"), QStringLiteral("Check2"), QStringLiteral("Check3")}) {
        const QString value =
            platform.GetSetting(kSettingsApp, QStringLiteral("Quillory"), key, QStringLiteral("1"));
        if (value != QStringLiteral("1"))
            continue; // as start-up: an unchanged box writes nothing
        platform.SaveSetting(kSettingsApp, QStringLiteral("Quillory"), key, QStringLiteral("1"));
    }
    QCOMPARE(boxes.texts.size(), notice ? 1 : 0);
    if (notice) {
        const QString text = boxes.texts.front();
        QVERIFY2(text.startsWith(QStringLiteral("Quillory|")), qPrintable(text));
        QVERIFY2(text.contains(QDir::toNativeSeparators(path) + QStringLiteral(": ")), qPrintable(text));
    }
    if (kind != QStringLiteral("folder")) {
        // Whatever went wrong, the file is as it was and nothing is left beside it.
        QVERIFY(QFile::setPermissions(folder, readOnly | QFileDevice::WriteOwner));
        QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner)
                || stored.isEmpty());
        QCOMPARE(readText(path), stored);
        QCOMPARE(QFileInfo::exists(path), !stored.isEmpty());
        const QStringList left =
            QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        QCOMPARE(left, stored.isEmpty() ? QStringList() : QStringList{QFileInfo(path).fileName()});
    }
}

void TestQtPlatform::shellOfMissingProgramThrows()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    try {
        QtPlatform().Shell(dir.filePath(QStringLiteral("no-such-program")), {QStringLiteral("x")});
        QFAIL("Starting a missing program did not fail");
    } catch (const Failure &failure) {
        QCOMPARE(failure.description(), QStringLiteral("File not found"));
    }
}

void TestQtPlatform::shellStartsAnExistingProgram()
{
    // The started program proves it ran, with its arguments intact, by writing a file.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString script = dir.filePath(QStringLiteral("record"));
    writeFile(script, "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$1.out\"\n", true);
    const QString marker = dir.filePath(QStringLiteral("it ran; \"quoted\""));
    QtPlatform().Shell(script, {marker, QStringLiteral("two words")});
    QTRY_COMPARE(readText(marker + QStringLiteral(".out")), marker + QStringLiteral("\ntwo words\n"));
}

void TestQtPlatform::findsSpreadsheetProgram_data()
{
    QTest::addColumn<QString>("chosen");          // QUILLORY_SPREADSHEET, "" for unset
    QTest::addColumn<QStringList>("onPath");      // executables in the PATH folder
    QTest::addColumn<QString>("defaultApp");      // what xdg-mime answers
    QTest::addColumn<QString>("expectedProgram"); // name in the folder, "" for none
    QTest::addColumn<QStringList>("expectedArguments");

    const QStringList calc{QStringLiteral("--calc"), QStringLiteral("-n")};
    const QString soffice = QStringLiteral("soffice");
    const QString libreoffice = QStringLiteral("libreoffice");
    const QString xdgMime = QStringLiteral("xdg-mime");
    const QString xdgOpen = QStringLiteral("xdg-open");
    const QString mine = QStringLiteral("my-sheet");

    QTest::newRow("nothing installed")
        << QString() << QStringList() << QString() << QString() << QStringList();
    QTest::newRow("chosen program first")
        << mine << QStringList{mine, soffice} << QString() << mine << QStringList();
    QTest::newRow("chosen program by full path")
        << QStringLiteral("<dir>/my-sheet") << QStringList{mine, soffice} << QString() << mine
        << QStringList();
    // The user's choice stands even when it cannot run: starting it then says why,
    // rather than another program opening the workbook without a word.
    QTest::newRow("chosen file that cannot run is still the choice")
        << QStringLiteral("<dir>/plain.txt") << QStringList{soffice} << QString()
        << QStringLiteral("plain.txt") << QStringList();
    QTest::newRow("chosen program missing is still the choice")
        << QStringLiteral("<dir>/gone") << QStringList() << QString() << QStringLiteral("gone")
        << QStringList();
    QTest::newRow("soffice") << QString() << QStringList{soffice, libreoffice} << QString() << soffice
                             << calc;
    QTest::newRow("libreoffice") << QString() << QStringList{libreoffice} << QString() << libreoffice << calc;
    QTest::newRow("desktop default for workbooks")
        << QString() << QStringList{xdgMime, xdgOpen} << QStringLiteral("calc.desktop") << xdgOpen
        << QStringList();
    QTest::newRow("no desktop default for workbooks")
        << QString() << QStringList{xdgMime, xdgOpen} << QString() << QString() << QStringList();
    QTest::newRow("desktop default but no opener")
        << QString() << QStringList{xdgMime} << QStringLiteral("calc.desktop") << QString() << QStringList();
}

void TestQtPlatform::findsSpreadsheetProgram()
{
    QFETCH(QString, chosen);
    QFETCH(QStringList, onPath);
    QFETCH(QString, defaultApp);
    QFETCH(QString, expectedProgram);
    QFETCH(QStringList, expectedArguments);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    for (const QString &name : onPath) {
        QByteArray script = "#!/bin/sh\n";
        if (name == QLatin1StringView("xdg-mime") && !defaultApp.isEmpty())
            script += "echo " + defaultApp.toUtf8() + "\n";
        writeFile(dir.filePath(name), script, true);
    }
    writeFile(dir.filePath(QStringLiteral("plain.txt")), "#!/bin/sh\n", false);

    chosen.replace(QStringLiteral("<dir>"), dir.path());
    EnvironmentGuard path("PATH", QFile::encodeName(dir.path()));
    EnvironmentGuard choice("QUILLORY_SPREADSHEET", chosen.toUtf8());

    const SpreadsheetProgram found = QtPlatform().FindSpreadsheetProgram();
    QCOMPARE(found.program, expectedProgram.isEmpty() ? QString() : dir.filePath(expectedProgram));
    QCOMPARE(found.argumentsBeforeFile, expectedArguments);
}

void TestQtPlatform::clipboardRoundTrip()
{
    QtPlatform platform;
    const QString text = QStringLiteral("888-342-9122  \t\r\n1-888-342-9122\t\r\n");
    QVERIFY(platform.ClipboardSetText(text, 0));
    QCOMPARE(QGuiApplication::clipboard()->text(), text);
    QVERIFY(platform.ClipboardClear());
    QCOMPARE(QGuiApplication::clipboard()->text(), QString());
}

void TestQtPlatform::deferredClipboardTextIsMadeWhenRead()
{
    class CountingText final : public DeferredText
    {
    public:
        QByteArray utf8() const override
        {
            ++made;
            return QString::fromUtf8("888-342-9122\r\n\u20ac \U0001F600\r\n").toUtf8();
        }
        mutable int made = 0;
    };
    auto text = std::make_shared<CountingText>();
    QtPlatform platform;
    QVERIFY(platform.ClipboardSetText(text, 0));
    QCOMPARE(text->made, 0); // on offer only

    const QMimeData *data = QGuiApplication::clipboard()->mimeData();
    QVERIFY(data);
    QVERIFY(data->hasText());
    QCOMPARE(data->data(QStringLiteral("text/plain")), text->utf8());
    QCOMPARE(QGuiApplication::clipboard()->text(),
             QString::fromUtf8("888-342-9122\r\n\u20ac \U0001F600\r\n"));
    QVERIFY(text->made >= 3);

    // Another text takes its place and the list's text is let go.
    const std::weak_ptr<CountingText> held = text;
    text.reset();
    QVERIFY(platform.ClipboardSetText(QStringLiteral("other"), 0));
    QVERIFY(held.expired());
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("other"));
}

void TestQtPlatform::deferredClipboardTextKeepsALeadingFeff()
{
    // A UTF-8 reader takes a leading U+FEFF for a byte-order mark; the
    // entry that starts with one must still paste whole.
    class Text final : public DeferredText
    {
    public:
        QByteArray utf8() const override { return QString::fromUtf8("\ufeff888-342-9122\r\n").toUtf8(); }
    };
    QtPlatform platform;
    QVERIFY(platform.ClipboardSetText(std::make_shared<Text>(), 0));
    QCOMPARE(QGuiApplication::clipboard()->text(), QString::fromUtf8("\ufeff888-342-9122\r\n"));
    QCOMPARE(platform.ClipboardText(), QString::fromUtf8("\ufeff888-342-9122\r\n"));
}

void TestQtPlatform::spreadsheetFolderIsCreated()
{
    const QString folder = QtPlatform().SpreadsheetFolder();
    QVERIFY(QFileInfo(folder).isDir());
    QVERIFY(folder.endsWith(QDir::separator() + QStringLiteral("workbooks")));
}

QTEST_MAIN(TestQtPlatform)
#include "tst_qtplatform.moc"
