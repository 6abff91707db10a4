#include "platform/filedialogs.h"

#include "platform/typednames.h"

#include <QAbstractItemView>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QMessageBox>

#include <algorithm>
#include <limits>

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

// A file dialog that reads the user's choice itself where Qt's own widgets
// are shown, and leaves it to the desktop's dialog where that is shown.
// No Q_OBJECT: Qt offers the native dialog only to QFileDialog's own class.
class ChoosingDialog : public QFileDialog
{
public:
    ChoosingDialog(QWidget *parent, const QString &title) : QFileDialog(parent, title) {}

    // The full paths chosen, in the dialog's order, once it was accepted.
    QStringList chosenFiles() const { return m_widgets ? m_chosen : selectedFiles(); }

    void accept() override
    {
        if (!m_widgets) {
            QFileDialog::accept(); // the desktop's dialog: its answer is final
            return;
        }
        acceptFromWidgets();
    }

protected:
    // Called instead of Qt's accept() while Qt's widgets are shown.
    virtual void acceptFromWidgets() = 0;
    // Called once Qt's widgets are known to be shown.
    virtual void usingWidgets() {}

    void setChosen(const QStringList &files) { m_chosen = files; }

    QLineEdit *nameBox() const { return findChild<QLineEdit *>(QStringLiteral("fileNameEdit")); }

    // The files picked in the list when the name box still shows them;
    // nothing when the user typed since, or picked no file.
    QStringList pickedFiles() const
    {
        const auto *view = findChild<QAbstractItemView *>(QStringLiteral("listView"));
        return m_listPick && view ? picked(view, QFileSystemModel::FilePathRole) : QStringList();
    }

    // The typed names as full paths in the current folder.
    QStringList typedFiles(const QStringList &names) const
    {
        const QDir folder = directory();
        QStringList files;
        for (const QString &name : names)
            files << QDir::cleanPath(folder.absoluteFilePath(expandHome(name)));
        return files;
    }

    void showEvent(QShowEvent *event) override
    {
        // Qt marks the dialog this way when the desktop's dialog is shown in its place.
        if (!m_widgets && !testAttribute(Qt::WA_DontShowOnScreen))
            watchWidgets();
        QFileDialog::showEvent(event);
    }

private:
    void watchWidgets()
    {
        QLineEdit *edit = nameBox();
        auto *view = findChild<QAbstractItemView *>(QStringLiteral("listView"));
        if (!edit || !view || !view->selectionModel())
            return;
        m_widgets = true;
        // A large pick is shown whole rather than cut at the default limit.
        edit->setMaxLength(std::numeric_limits<int>::max());
        // Qt reads the box at every change and selects what its own split of
        // the text names: a name with a quote would select other files. The
        // private slot is reachable only by its name.
        disconnect(edit, SIGNAL(textChanged(QString)), this, SLOT(_q_autoCompleteFileName(QString)));
        connect(view->selectionModel(), &QItemSelectionModel::selectionChanged, this,
                [this, edit, view] { pickChanged(edit, view); });
        connect(edit, &QLineEdit::textEdited, this, [this] { m_listPick = false; });
        usingWidgets();
    }

    // Only the list changes the selection (Qt's own selecting of typed
    // names is cut off above), so a change is always the user's pick.
    void pickChanged(QLineEdit *edit, QAbstractItemView *view)
    {
        const QStringList names = picked(view, QFileSystemModel::FileNameRole);
        m_listPick = !names.isEmpty();
        // The box shows the pick so that the parser reads it back the same,
        // should the user go on typing.
        if (m_listPick)
            edit->setText(JoinTypedFileNames(names));
    }

    // The files selected in the list, in the list's order: the model sorts
    // its rows after they arrive, which leaves a selection of all of them in
    // pieces, so the selection's own order is not what the user sees.
    static QStringList picked(const QAbstractItemView *view, int role)
    {
        const auto *model = qobject_cast<const QFileSystemModel *>(view->model());
        QModelIndexList rows = view->selectionModel()->selectedRows();
        std::sort(rows.begin(), rows.end());
        QStringList files;
        for (const QModelIndex &index : rows) {
            if (model && model->isDir(index))
                continue; // folders are entered, not chosen
            files << index.data(role).toString();
        }
        return files;
    }

    static QString expandHome(const QString &name)
    {
        if (name == u'~' || name.startsWith(QStringLiteral("~/")))
            return QDir::homePath() + name.mid(1);
        return name;
    }

    bool m_widgets = false;
    bool m_listPick = false; // the box shows the list's pick, not typed text
    QStringList m_chosen;
};

// The open dialog answers every file the user chose, in the dialog's order.
// Under Qt's widgets it also answers typed names of files that do not exist:
// the command says which ones it could not find, where Qt's own check would
// drop them or refuse them. Typing a folder still moves the dialog there.
class OpenDialog final : public ChoosingDialog
{
public:
    OpenDialog(QWidget *parent, const QString &title, bool several)
        : ChoosingDialog(parent, title), m_several(several)
    {
        setAcceptMode(AcceptOpen);
        // What the desktop's dialog is told: one file, or several with Ctrl and Shift.
        setFileMode(several ? ExistingFiles : ExistingFile);
    }

protected:
    void usingWidgets() override
    {
        // AnyFile keeps Qt from judging typed names; the list still lets the
        // user pick several files.
        setFileMode(AnyFile);
        const auto selection =
            m_several ? QAbstractItemView::ExtendedSelection : QAbstractItemView::SingleSelection;
        for (const char *name : {"listView", "treeView"}) {
            if (auto *view = findChild<QAbstractItemView *>(QLatin1StringView(name)))
                view->setSelectionMode(selection);
        }
    }

    void acceptFromWidgets() override
    {
        if (!pickedFiles().isEmpty()) {
            setChosen(pickedFiles());
            QDialog::accept();
            return;
        }
        const QLineEdit *edit = nameBox();
        const QStringList files = typedFiles(SplitTypedFileNames(edit ? edit->text() : QString()));
        if (files.isEmpty())
            return; // nothing chosen yet
        if (files.size() == 1 && QFileInfo(files.front()).isDir()) {
            setDirectory(files.front());
            return;
        }
        setChosen(files);
        QDialog::accept();
    }

private:
    bool m_several;
};

// The save dialog answers one file. A typed name is never split: text that is
// not one quoted name is the name as typed. It asks before it replaces a
// file: a slip of the mouse must not destroy an earlier export.
class SaveDialog final : public ChoosingDialog
{
public:
    SaveDialog(QWidget *parent, const QString &title) : ChoosingDialog(parent, title)
    {
        setAcceptMode(AcceptSave);
        setFileMode(AnyFile);
    }

protected:
    void acceptFromWidgets() override
    {
        QString file = pickedFiles().value(0);
        if (file.isEmpty()) {
            const QLineEdit *edit = nameBox();
            const QString text = edit ? edit->text() : QString();
            const QStringList names = SplitTypedFileNames(text);
            if (names.isEmpty())
                return; // nothing typed yet
            file = typedFiles({names.size() == 1 ? names.front() : text}).front();
        }
        const QFileInfo info(file);
        if (info.isDir()) {
            setDirectory(file);
            return;
        }
        if (info.exists() && !testOption(DontConfirmOverwrite)
            && QMessageBox::warning(
                   this, windowTitle(),
                   QFileDialog::tr("%1 already exists.\nDo you want to replace it?").arg(info.fileName()),
                   QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
                != QMessageBox::Yes)
            return;
        setChosen({file});
        QDialog::accept();
    }
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
    // is a folder, which is where the user was working. A folder is opened,
    // not selected: the desktop's save dialog would offer its name as the
    // file name.
    const QString fileName = settings.fileName.section(QChar(u'\0'), 0, 0);
    if (!fileName.isEmpty() && QFileInfo(fileName).isDir())
        dialog.setDirectory(fileName);
    else if (!fileName.isEmpty())
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
    SaveDialog dialog(parent, settings.title);
    setUpFileDialog(dialog, settings);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    const QStringList files = dialog.chosenFiles();
    if (files.isEmpty())
        return {};
    return QDir::toNativeSeparators(QFileInfo(files.front()).absoluteFilePath());
}
