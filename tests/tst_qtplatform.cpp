#include "app/errorreport.h"
#include "app/form1.h"
#include "platform/qtplatform.h"
#include "unprivileged.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>

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
    BoxCatcher()
    {
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
                box && box->isVisible()) {
                texts << box->windowTitle() + u'|' + box->text();
                box->accept();
            }
        });
        m_timer.start();
    }

    QStringList texts;

private:
    QTimer m_timer;
};

const QString kSettingsApp = QStringLiteral("Tarvenco");

QString settingsFilePath()
{
    return QSettings(QSettings::IniFormat, QSettings::UserScope, kSettingsApp, QString()).fileName();
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
    void saveDialogAnswersNativePathOrEmptyOnCancel_data();
    void saveDialogAnswersNativePathOrEmptyOnCancel();

    void settingsRoundTripThroughTheUserIniFile();
    void absentSettingAnswersTheDefault();
    void sectionsKeepTheirOwnKeys();
    void unparseableSettingsAreLeftAsTheyAre();
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
};

void TestQtPlatform::initTestCase()
{
    // Never the developer's own settings or cache.
    QStandardPaths::setTestModeEnabled(true);
    // The application title, as start-up sets it.
    QCoreApplication::setApplicationName(QStringLiteral("Quillory"));
    QFile::remove(settingsFilePath());
}

void TestQtPlatform::cleanup()
{
    const QString path = settingsFilePath();
    if (QFileInfo(path).isDir())
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

void TestQtPlatform::unparseableSettingsAreLeftAsTheyAre()
{
    // Another program's section that Qt cannot parse (an unclosed section name).
    const QByteArray contents = "[Other]\nname=kept\n[Broken\nCheck1=0\n[Quillory]\nCheck2=0\n";
    const QString path = settingsFilePath();
    QVERIFY(QDir().mkpath(QFileInfo(path).path()));
    writeFile(path, contents, false);

    BoxCatcher boxes;
    QtPlatform platform;
    for (const QString &key :
         {QStringLiteral("Check1"), QStringLiteral("Check2"), QStringLiteral("Check3")}) {
        QCOMPARE(platform.GetSetting(kSettingsApp, QStringLiteral("Quillory"), key, QStringLiteral("1")),
                 QStringLiteral("1"));
        platform.SaveSetting(kSettingsApp, QStringLiteral("Quillory"), key, QStringLiteral("1"));
    }
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), contents);
    QCOMPARE(boxes.texts.size(), 1);
    QVERIFY2(boxes.texts.front().contains(QDir::toNativeSeparators(path)), qPrintable(boxes.texts.front()));
    // Another store object of the same run still leaves the file alone.
    platform.SaveSetting(kSettingsApp, QStringLiteral("Quillory"), QStringLiteral("Check1"),
                         QStringLiteral("0"));
    QVERIFY(file.seek(0));
    QCOMPARE(file.readAll(), contents);
    QCOMPARE(boxes.texts.size(), 1);
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
    if (kind == QStringLiteral("unreadable file")) {
        QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
        QCOMPARE(readText(path), stored); // never written over
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
    QTest::newRow("chosen file that cannot run is ignored")
        << QStringLiteral("<dir>/plain.txt") << QStringList{soffice} << QString() << soffice << calc;
    QTest::newRow("chosen program missing is ignored")
        << QStringLiteral("<dir>/gone") << QStringList() << QString() << QString() << QStringList();
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
