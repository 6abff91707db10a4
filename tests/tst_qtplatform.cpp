#include "app/errorreport.h"
#include "platform/qtplatform.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileDialog>
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
    void saveDialogAnswersNativePathOrEmptyOnCancel_data();
    void saveDialogAnswersNativePathOrEmptyOnCancel();

    void settingsRoundTripThroughTheUserIniFile();
    void absentSettingAnswersTheDefault();
    void sectionsKeepTheirOwnKeys();
    void failedSettingWriteThrows();

    void shellOfMissingProgramThrows();
    void shellStartsAnExistingProgram();

    void findsSpreadsheetProgram_data();
    void findsSpreadsheetProgram();

    void clipboardRoundTrip();
    void deferredClipboardTextIsMadeWhenRead();
    void spreadsheetFolderIsCreated();
};

void TestQtPlatform::initTestCase()
{
    // Never the developer's own settings or cache.
    QStandardPaths::setTestModeEnabled(true);
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
        << QStringList{QStringLiteral("Text Files (*.txt)"), QStringLiteral("All Files (*)")};
    QTest::newRow("no closing bar") << QStringLiteral("Text Files (*.txt)|*.txt")
                                    << QStringList{QStringLiteral("Text Files (*.txt)")};
    QTest::newRow("several patterns")
        << QStringLiteral("Lists|*.txt;*.csv|") << QStringList{QStringLiteral("Lists (*.txt *.csv)")};
    QTest::newRow("description lists other patterns")
        << QStringLiteral("Numbers (*.num)|*.txt|") << QStringList{QStringLiteral("Numbers (*.txt)")};
    QTest::newRow("missing pattern means all files")
        << QStringLiteral("Anything|") << QStringList{QStringLiteral("Anything (*)")};
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
    QApplication::setApplicationDisplayName(QStringLiteral("Quillory"));
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
    QStringList filters;
    bool confirmsOverwrite = false;
    whenDialogOpens([&](QWidget *dialog) {
        auto *files = qobject_cast<QFileDialog *>(dialog);
        QVERIFY(files);
        title = files->windowTitle();
        filters = files->nameFilters();
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
    QCOMPARE(filters, (QStringList{QStringLiteral("Text Files (*.txt)"), QStringLiteral("All Files (*)")}));
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

void TestQtPlatform::failedSettingWriteThrows()
{
    // A folder where the file should be: no user, root included, can write it.
    const QString path = settingsFilePath();
    QVERIFY(QDir().mkpath(path));
    QVERIFY_THROWS_EXCEPTION(Failure,
                             QtPlatform().SaveSetting(kSettingsApp, QStringLiteral("Quillory"),
                                                      QStringLiteral("Check1"), QStringLiteral("0")));
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

void TestQtPlatform::spreadsheetFolderIsCreated()
{
    const QString folder = QtPlatform().SpreadsheetFolder();
    QVERIFY(QFileInfo(folder).isDir());
    QVERIFY(folder.endsWith(QDir::separator() + QStringLiteral("workbooks")));
}

QTEST_MAIN(TestQtPlatform)
#include "tst_qtplatform.moc"
