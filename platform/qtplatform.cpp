#include "platform/qtplatform.h"

#include "platform/failure.h"
#include "platform/filedialogs.h"
#include "platform/inifile.h"
#include "platform/settingsfile.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFileInfo>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPointer>
#include <QProcess>
#include <QStandardPaths>
#include <QTime>

#include <limits>

namespace {

// Dialogs belong to the window the user is working in, so that they centre on it.
QWidget *dialogParent()
{
    return QApplication::activeWindow();
}

// The application title is the name the program is listed under. It is kept
// as the application name rather than the display name, which Qt's X11 layer
// would append to every other window's title.
QString titleOrApplicationTitle(const QString &title)
{
    return title.isEmpty() ? QCoreApplication::applicationName() : title;
}

} // namespace

QStringList QtPlatform::nameFilters(const QString &dialogFilter)
{
    return FileDialogs::nameFilters(dialogFilter);
}

QString QtPlatform::openAnswer(const QStringList &files)
{
    return FileDialogs::openAnswer(files);
}

QString QtPlatform::displayText(const QString &text)
{
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    shown.replace(u'\r', u'\n');
    return shown;
}

void QtPlatform::MsgBox(const QString &text, int style, const QString &title)
{
    QMessageBox box(dialogParent());
    box.setWindowModality(Qt::ApplicationModal);
    box.setWindowTitle(titleOrApplicationTitle(title));
    // The text is shown as it is: a number from a file is never markup.
    box.setTextFormat(Qt::PlainText);
    box.setText(displayText(text));
    box.setIcon(style & MsgBoxStyle::Exclamation ? QMessageBox::Warning : QMessageBox::NoIcon);
    box.setStandardButtons(QMessageBox::Ok);
    box.setDefaultButton(QMessageBox::Ok);
    box.exec();
}

QString QtPlatform::InputBox(const QString &prompt, const QString &title)
{
    QInputDialog dialog(dialogParent());
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.setWindowTitle(titleOrApplicationTitle(title));
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setLabelText(displayText(prompt));
    dialog.setTextValue(QString());
    // A pasted list may be far longer than a line edit takes by default.
    if (auto *edit = dialog.findChild<QLineEdit *>())
        edit->setMaxLength(std::numeric_limits<int>::max());
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.textValue();
}

QString QtPlatform::ShowOpen(const FileDialogSettings &settings)
{
    return FileDialogs::showOpen(dialogParent(), settings);
}

QString QtPlatform::ShowSave(const FileDialogSettings &settings)
{
    return FileDialogs::showSave(dialogParent(), settings);
}

namespace {

// Plain text that is made when it is read: a paste in another program asks
// for "text/plain" as UTF-8 bytes, which are made then and dropped after.
class DeferredMimeData final : public QMimeData
{
public:
    explicit DeferredMimeData(std::shared_ptr<const DeferredText> text) : m_text(std::move(text)) {}

    QStringList formats() const override { return {QStringLiteral("text/plain")}; }
    bool hasFormat(const QString &mimeType) const override { return mimeType == u"text/plain"; }

protected:
    QVariant retrieveData(const QString &mimeType, QMetaType type) const override
    {
        if (mimeType != u"text/plain")
            return {};
        try {
            // QMimeData's own conversion to a QString would drop a U+FEFF
            // that starts the text, taking it for a byte-order mark.
            if (type.id() == QMetaType::QString)
                return m_text->text();
            return m_text->utf8();
        } catch (const std::exception &) {
            return {}; // no room for the text: the paste gets nothing, the program goes on
        }
    }

private:
    std::shared_ptr<const DeferredText> m_text;
};

} // namespace

bool QtPlatform::ClipboardClear()
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (!clipboard)
        return false;
    clipboard->clear();
    return clipboard->text().isEmpty();
}

bool QtPlatform::ClipboardSetText(const QString &text, int format)
{
    Q_UNUSED(format); // 0, plain text, is the only format the program uses
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (!clipboard)
        return false;
    clipboard->setText(text);
    return clipboard->text() == text;
}

QString QtPlatform::ClipboardText()
{
    const QClipboard *clipboard = QGuiApplication::clipboard();
    return clipboard ? clipboard->text() : QString();
}

bool QtPlatform::ClipboardSetText(std::shared_ptr<const DeferredText> text, int format)
{
    Q_UNUSED(format);
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (!clipboard)
        return false;
    // The clipboard owns the data and deletes it when another program takes over.
    const QPointer<QMimeData> data = new DeferredMimeData(std::move(text));
    clipboard->setMimeData(data);
    // Asking for the text back would make it; the data offered is what tells.
    return data && clipboard->mimeData() == data.data();
}

namespace {

// The file QSettings kept the store of `app` in, so that options saved
// before are still found.
QString settingsPath(const QString &app)
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + u'/' + app
        + QStringLiteral(".ini");
}

} // namespace

void QtPlatform::settingsNotice(const QString &text)
{
    // One word per run is enough: the same store fails the same way each time.
    if (m_settingsNoticeGiven)
        return;
    m_settingsNoticeGiven = true;
    MsgBox(text, MsgBoxStyle::OkOnly, QString());
}

// The store may be shared with the maker's other programs: only the line of
// the key changes, and a file that cannot be read is never written over.
QString QtPlatform::GetSetting(const QString &app, const QString &section, const QString &key,
                               const QString &defaultValue)
{
    const QString path = settingsPath(app);
    const SettingsFile::ReadResult file = SettingsFile::read(path);
    if (!file.problem.isEmpty()) {
        settingsNotice(QStringLiteral("Cannot read the settings in %1: %2. The options start with their "
                                      "defaults, and the file is left as it is.")
                           .arg(QDir::toNativeSeparators(path), file.problem));
        return defaultValue;
    }
    const std::optional<QByteArray> value = IniFile::value(file.bytes, section.toUtf8(), key.toUtf8());
    return value ? QString::fromUtf8(*value) : defaultValue;
}

void QtPlatform::SaveSetting(const QString &app, const QString &section, const QString &key,
                             const QString &value)
{
    const QString path = settingsPath(app);
    const SettingsFile::ReadResult file = SettingsFile::read(path);
    if (!file.problem.isEmpty()) {
        settingsNotice(QStringLiteral("Cannot read the settings in %1: %2. Changed options are not saved, "
                                      "and the file is left as it is.")
                           .arg(QDir::toNativeSeparators(path), file.problem));
        return;
    }
    const QByteArray group = section.toUtf8();
    const QByteArray name = key.toUtf8();
    const QByteArray text = value.toUtf8();
    if (IniFile::value(file.bytes, group, name) == text)
        return; // already there: nothing to write
    const QString problem = SettingsFile::replace(path, IniFile::withValue(file.bytes, group, name, text));
    if (!problem.isEmpty())
        settingsNotice(QStringLiteral("Cannot save the setting in %1: %2.")
                           .arg(QDir::toNativeSeparators(path), problem));
}

void QtPlatform::Shell(const QString &program, const QStringList &arguments)
{
    if (program.isEmpty() || !QProcess::startDetached(program, arguments))
        throw Failure(QStringLiteral("File not found"));
}

QString QtPlatform::ProgramFolder()
{
    return QDir::toNativeSeparators(QCoreApplication::applicationDirPath());
}

double QtPlatform::SecondsSinceMidnight()
{
    return QTime::currentTime().msecsSinceStartOfDay() / 1000.0;
}

void QtPlatform::ProcessEvents()
{
    QCoreApplication::processEvents();
}

QString QtPlatform::SpreadsheetFolder()
{
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    const QString folder = cache + QStringLiteral("/workbooks");
    if (cache.isEmpty() || !QDir().mkpath(folder))
        throw Failure(QStringLiteral("Cannot create the folder %1").arg(QDir::toNativeSeparators(folder)));
    return QDir::toNativeSeparators(folder);
}

SpreadsheetProgram QtPlatform::FindSpreadsheetProgram()
{
    // The user's own choice is the one used, even where it cannot run: the
    // hand-over then says so, rather than another program opening unasked.
    const QString chosen = qEnvironmentVariable("QUILLORY_SPREADSHEET");
    if (!chosen.isEmpty()) {
        if (chosen.contains(u'/'))
            return {chosen, {}};
        const QString found = QStandardPaths::findExecutable(chosen);
        return {found.isEmpty() ? chosen : found, {}};
    }

    // "-n" opens the workbook as a template: a new, unsaved document.
    for (const QString &name : {QStringLiteral("soffice"), QStringLiteral("libreoffice")}) {
        const QString program = QStandardPaths::findExecutable(name);
        if (!program.isEmpty())
            return {program, {QStringLiteral("--calc"), QStringLiteral("-n")}};
    }

    // Otherwise whatever the desktop opens workbooks with.
    const QString xdgMime = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
    const QString xdgOpen = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (!xdgMime.isEmpty() && !xdgOpen.isEmpty()) {
        QProcess query;
        query.start(xdgMime,
                    {QStringLiteral("query"), QStringLiteral("default"),
                     QStringLiteral("application/vnd.openxmlformats-officedocument.spreadsheetml.sheet")});
        if (query.waitForFinished(3000)) {
            if (query.exitStatus() == QProcess::NormalExit && query.exitCode() == 0
                && !query.readAllStandardOutput().trimmed().isEmpty())
                return {xdgOpen, {}};
        } else {
            query.kill();
            query.waitForFinished(1000);
        }
    }
    return {};
}
