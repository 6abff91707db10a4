#include "platform/filedialogs.h"

#include <QAbstractItemView>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>

namespace {

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

QStringList FileDialogs::nameFilters(const QString &dialogFilter)
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
        if (description.isEmpty())
            description = patternText.isEmpty() ? patterns.join(u' ') : patternText;
        // Qt takes the patterns from the last parentheses; the dialog shows what
        // comes before them (HideNameFilterDetails), which is the description
        // exactly as the command wrote it.
        filters << description + QStringLiteral(" (") + patterns.join(u' ') + u')';
    }
    return filters;
}

QString FileDialogs::openAnswer(const QStringList &files)
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

namespace {

// The open dialog answers every name the user chose, in the order of its file
// name field, also names of files that do not exist: the command says which
// ones it could not find. Qt's own check would drop such names or refuse them.
// Typing a folder still moves the dialog there.
class OpenDialog : public QFileDialog
{
public:
    OpenDialog(QWidget *parent, const QString &title, bool several)
        : QFileDialog(parent, title), m_several(several)
    {
        setAcceptMode(AcceptOpen);
        // AnyFile keeps Qt from judging the typed names; the views still let
        // the user pick several files (set once they exist, see showEvent).
        setFileMode(AnyFile);
    }

    QStringList chosenFiles() const { return m_chosen; }

    void accept() override
    {
        const QStringList names = typedNames();
        const QDir folder = directory();
        QStringList files;
        for (const QString &name : names)
            files << QDir::cleanPath(folder.absoluteFilePath(expandHome(name)));
        if (files.isEmpty() || (files.size() == 1 && QFileInfo(files.front()).isDir())
            || names == QStringList{QStringLiteral("..")}) {
            QFileDialog::accept(); // navigation, or nothing typed: Qt's own business
            return;
        }
        m_chosen = files;
        QDialog::accept();
    }

protected:
    void showEvent(QShowEvent *event) override
    {
        const auto selection =
            m_several ? QAbstractItemView::ExtendedSelection : QAbstractItemView::SingleSelection;
        for (const char *name : {"listView", "treeView"}) {
            if (auto *view = findChild<QAbstractItemView *>(QLatin1StringView(name)))
                view->setSelectionMode(selection);
        }
        QFileDialog::showEvent(event);
    }

private:
    // The names in the file name field: one name, or several in double quotes
    // ("a.txt" "b.txt"), as the dialog writes a multiple selection.
    QStringList typedNames() const
    {
        const auto *edit = findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        const QString text = edit ? edit->text() : QString();
        if (!text.contains(u'"'))
            return text.trimmed().isEmpty() ? QStringList() : QStringList{text};
        QStringList names;
        const QStringList tokens = text.split(u'"');
        for (qsizetype i = 1; i < tokens.size(); i += 2) {
            if (!tokens[i].isEmpty())
                names << tokens[i];
        }
        return names;
    }

    static QString expandHome(const QString &name)
    {
        if (name == u'~' || name.startsWith(QStringLiteral("~/")))
            return QDir::homePath() + name.mid(1);
        return name;
    }

    bool m_several;
    QStringList m_chosen;
};

void setUpFileDialog(QFileDialog &dialog, const FileDialogSettings &settings)
{
    dialog.setWindowModality(Qt::ApplicationModal);
    // The filter list shows each description as the command wrote it.
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    const QStringList filters = FileDialogs::nameFilters(settings.filter);
    if (!filters.isEmpty())
        dialog.setNameFilters(filters);
    // A multi-file answer left by the open dialog holds NULs; its first piece
    // is a folder, which is where the user was working.
    const QString fileName = settings.fileName.section(QChar(u'\0'), 0, 0);
    if (!fileName.isEmpty())
        dialog.selectFile(fileName);
}

} // namespace

QString FileDialogs::showOpen(QWidget *parent, const FileDialogSettings &settings)
{
    OpenDialog dialog(parent, settings.title, settings.flags & 0x200);
    setUpFileDialog(dialog, settings);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return openAnswer(dialog.chosenFiles());
}

QString FileDialogs::showSave(QWidget *parent, const FileDialogSettings &settings)
{
    // The dialog keeps asking before it replaces a file: a slip of the mouse
    // must not destroy an earlier export.
    QFileDialog dialog(parent, settings.title);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    setUpFileDialog(dialog, settings);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty())
        return {};
    return QDir::toNativeSeparators(QFileInfo(files.front()).absoluteFilePath());
}
