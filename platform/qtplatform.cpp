#include "platform/qtplatform.h"

#include "app/errorreport.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>
#include <QMimeData>
#include <QPointer>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTime>

namespace {

// Dialogs belong to the window the user is working in, so that they centre on it.
QWidget *dialogParent()
{
    return QApplication::activeWindow();
}

QString titleOrApplicationTitle(const QString &title)
{
    return title.isEmpty() ? QGuiApplication::applicationDisplayName() : title;
}

bool isExecutableFile(const QString &path)
{
    const QFileInfo info(path);
    return info.isFile() && info.isExecutable();
}

// The folder that holds every one of the given folders.
QString commonFolder(const QStringList &folders)
{
    QString common = folders.value(0);
    for (const QString &folder : folders) {
        while (folder != common && !folder.startsWith(common.endsWith(u'/') ? common : common + u'/')) {
            const QString parent = QFileInfo(common).path();
            if (parent == common)
                break; // the root holds everything
            common = parent;
        }
    }
    return common;
}

} // namespace

QStringList QtPlatform::nameFilters(const QString &dialogFilter)
{
    const QStringList parts = dialogFilter.split(u'|');
    QStringList filters;
    for (qsizetype i = 0; i < parts.size(); i += 2) {
        QString description = parts[i].trimmed();
        const QString patternText = i + 1 < parts.size() ? parts[i + 1].trimmed() : QString();
        if (description.isEmpty() && patternText.isEmpty())
            continue; // the closing "|"
        QStringList patterns;
        for (const QString &pattern : patternText.split(u';', Qt::SkipEmptyParts)) {
            const QString p = pattern.trimmed();
            // "*.*" means every file, also those without a dot in the name.
            patterns << (p == QLatin1StringView("*.*") ? QStringLiteral("*") : p);
        }
        if (patterns.isEmpty())
            patterns << QStringLiteral("*");
        // Qt reads the patterns from the parentheses, so the description's own
        // list is replaced by the converted one.
        if (description.endsWith(u')')) {
            const qsizetype open = description.lastIndexOf(u'(');
            if (open >= 0)
                description = description.left(open).trimmed();
        }
        if (description.isEmpty())
            description = patterns.join(u' ');
        filters << description + QStringLiteral(" (") + patterns.join(u' ') + u')';
    }
    return filters;
}

QString QtPlatform::displayText(const QString &text)
{
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    shown.replace(u'\r', u'\n');
    return shown;
}

QString QtPlatform::openAnswer(const QStringList &files)
{
    if (files.isEmpty())
        return {};
    if (files.size() == 1)
        return QDir::toNativeSeparators(QFileInfo(files.front()).absoluteFilePath());

    QStringList folders;
    for (const QString &file : files)
        folders << QDir::cleanPath(QFileInfo(file).absolutePath());
    const QString folder = commonFolder(folders);
    const QDir dir(folder);
    QString answer = QDir::toNativeSeparators(folder);
    for (const QString &file : files)
        answer +=
            QChar(u'\0') + QDir::toNativeSeparators(dir.relativeFilePath(QFileInfo(file).absoluteFilePath()));
    return answer;
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
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.textValue();
}

namespace {

// Shows the shared file dialog as the command set it up; the chosen files, or
// none when the user cancelled.
QStringList runFileDialog(const FileDialogSettings &settings, QFileDialog::AcceptMode acceptMode,
                          QFileDialog::FileMode fileMode)
{
    QFileDialog dialog(dialogParent(), settings.title);
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.setAcceptMode(acceptMode);
    dialog.setFileMode(fileMode);
    const QStringList filters = QtPlatform::nameFilters(settings.filter);
    if (!filters.isEmpty())
        dialog.setNameFilters(filters);
    // A multi-file answer left by the open dialog holds NULs; its first piece
    // is a folder, which is where the user was working.
    const QString fileName = settings.fileName.section(QChar(u'\0'), 0, 0);
    if (!fileName.isEmpty())
        dialog.selectFile(fileName);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.selectedFiles();
}

} // namespace

QString QtPlatform::ShowOpen(const FileDialogSettings &settings)
{
    return openAnswer(
        runFileDialog(settings, QFileDialog::AcceptOpen,
                      settings.flags & 0x200 ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile));
}

QString QtPlatform::ShowSave(const FileDialogSettings &settings)
{
    // The dialog keeps asking before it replaces a file: a slip of the mouse
    // must not destroy an earlier export.
    const QStringList files = runFileDialog(settings, QFileDialog::AcceptSave, QFileDialog::AnyFile);
    if (files.isEmpty())
        return {};
    return QDir::toNativeSeparators(QFileInfo(files.front()).absoluteFilePath());
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
    QVariant retrieveData(const QString &mimeType, QMetaType) const override
    {
        // Where a QString is asked for, QMimeData converts the bytes itself.
        if (mimeType != u"text/plain")
            return {};
        try {
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

QString QtPlatform::GetSetting(const QString &app, const QString &section, const QString &key,
                               const QString &defaultValue)
{
    QSettings store(QSettings::IniFormat, QSettings::UserScope, app, QString());
    store.beginGroup(section);
    const QVariant value = store.value(key);
    if (!value.isValid())
        return defaultValue;
    return value.toString();
}

void QtPlatform::SaveSetting(const QString &app, const QString &section, const QString &key,
                             const QString &value)
{
    QSettings store(QSettings::IniFormat, QSettings::UserScope, app, QString());
    store.beginGroup(section);
    store.setValue(key, value);
    store.endGroup();
    store.sync();
    if (store.status() != QSettings::NoError)
        throw Failure(
            QStringLiteral("Cannot save the setting in %1").arg(QDir::toNativeSeparators(store.fileName())));
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
    // The user's own choice comes first, when it names a program that can run.
    const QString chosen = qEnvironmentVariable("QUILLORY_SPREADSHEET");
    if (!chosen.isEmpty()) {
        const QString program = chosen.contains(u'/') ? chosen : QStandardPaths::findExecutable(chosen);
        if (!program.isEmpty() && isExecutableFile(program))
            return {program, {}};
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
