// Ways into the input list beyond the buttons: pasting the clipboard's text,
// dropping files or text on the window, and copying one entry of any list.

#include "app/form1.h"
#include "input/textimport.h"
#include "platform/clipboardretry.h"
#include "platform/procedures.h"

#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QShortcut>
#include <QTimer>
#include <QUrl>

namespace {

const QString kPasteProcedure = Procedure::ListView1_Paste;
const QString kLoadProcedure = Procedure::PushButton3_Click;

// Local files, text, or URLs that will be refused with a message.
bool isWelcome(const QMimeData *data)
{
    return data && ((data->hasUrls() && !data->urls().isEmpty()) || data->hasText());
}

} // namespace

void Form1::connectPasteAndDrops()
{
    ListView1->setPasteEnabled(true);
    connect(ListView1, &ListView::PasteRequested, this, [this] { run([this] { ListView1_Paste(); }); });
    // The keys paste from anywhere in the window, a button or a result list
    // holding the focus included: the input list is the one that takes numbers.
    QList<QKeySequence> pasteKeys = QKeySequence::keyBindings(QKeySequence::Paste);
    const QKeySequence shiftInsert(Qt::SHIFT | Qt::Key_Insert);
    if (!pasteKeys.contains(shiftInsert))
        pasteKeys.append(shiftInsert);
    auto *paste = new QShortcut(this);
    paste->setKeys(pasteKeys);
    connect(paste, &QShortcut::activated, this, [this] { run([this] { ListView1_Paste(); }); });
    const std::pair<ListView *, void (Form1::*)()> copies[] = {
        {ListView1, &Form1::ListView1_Copy},
        {ListView2, &Form1::ListView2_Copy},
        {ListView3, &Form1::ListView3_Copy},
    };
    for (const auto &[list, handler] : copies)
        connect(list, &ListView::CopyRequested, this, [this, h = handler] { run([&] { (this->*h)(); }); });
    setAcceptDrops(true);
}

void Form1::appendPastedText(Guarded &proc, QStringView text)
{
    // Like adding numbers by hand, this does not wait for a running command:
    // an export reads a snapshot of its list, which appending never changes.
    proc(104, [&] { Main::AppendLines(*ListView1->listModel(), text); });
}

void Form1::ListView1_Paste()
{
    Guarded proc(m_platform, kPasteProcedure);
    QString text;
    proc(100, [&] { text = m_platform.ClipboardText(); });
    bool empty = true;
    proc(102, [&] { empty = text.isEmpty(); });
    if (empty)
        return; // nothing on the clipboard, or no text
    appendPastedText(proc, text);
}

void Form1::PasteText(const QString &text)
{
    Guarded proc(m_platform, kPasteProcedure);
    if (text.isEmpty())
        return;
    appendPastedText(proc, text);
}

void Form1::LoadDroppedFiles(const QStringList &paths)
{
    // The steps of "Load Numbers From Text File" after the dialog's answer.
    Guarded proc(m_platform, kLoadProcedure);
    if (paths.isEmpty())
        return;
    proc(114, [&] { SetMousePointer(Pointer::Hourglass); });
    if (paths.size() == 1) {
        proc(120, [&] { Main::LoadTextFileIntoList(m_platform, ListView1, paths.at(0)); });
    } else {
        for (const QString &path : paths)
            proc(134, [&] { Main::LoadTextFileIntoList(m_platform, ListView1, path); });
    }
    proc(138, [&] { SetMousePointer(Pointer::Default); });
}

void Form1::copySelectedEntry(ListView *list, const QString &procedureText)
{
    Guarded proc(m_platform, procedureText);
    QString text;
    bool any = false;
    proc(100, [&] {
        if (const std::optional<ListItem> item = list->SelectedItem()) {
            text = item->Text();
            any = true;
        }
    });
    if (!any)
        return; // no entry selected: the clipboard keeps what it holds
    proc(102, [&] {
        if (!SetClipboardText(m_platform, text, 0))
            throw Failure(QStringLiteral("The clipboard is in use by another program"));
    });
}

void Form1::ListView1_Copy()
{
    copySelectedEntry(ListView1, Procedure::ListView1_Copy);
}

void Form1::ListView2_Copy()
{
    copySelectedEntry(ListView2, Procedure::ListView2_Copy);
}

void Form1::ListView3_Copy()
{
    copySelectedEntry(ListView3, Procedure::ListView3_Copy);
}

bool Form1::acceptsDropAt(QPoint position) const
{
    // The result lists hold what a run produced: nothing is dropped there.
    for (const QWidget *w = childAt(position); w; w = w->parentWidget()) {
        if (w == ListView2 || w == ListView3)
            return false;
    }
    return rect().contains(position);
}

void Form1::dragEnterEvent(QDragEnterEvent *event)
{
    // Accepted by its content; each move then decides by the place.
    if (!isWelcome(event->mimeData())) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void Form1::dragMoveEvent(QDragMoveEvent *event)
{
    if (!isWelcome(event->mimeData()) || !acceptsDropAt(event->position().toPoint())) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void Form1::dropEvent(QDropEvent *event)
{
    const QMimeData *data = event->mimeData();
    if (!isWelcome(data) || !acceptsDropAt(event->position().toPoint())) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    // The work runs after the drop has been answered, so that the program the
    // drag came from is not kept waiting while the files load.
    if (data->hasUrls() && !data->urls().isEmpty()) {
        QStringList paths;
        bool allLocal = true;
        for (const QUrl &url : data->urls()) {
            if (!url.isLocalFile()) {
                allLocal = false;
                break;
            }
            paths.append(QDir::toNativeSeparators(url.toLocalFile()));
        }
        if (!allLocal) {
            QTimer::singleShot(0, this, [this] {
                run([this] {
                    m_platform.MsgBox(QStringLiteral("Only files on this computer can be loaded. "
                                                     "Nothing was loaded."),
                                      MsgBoxStyle::Exclamation, QString());
                });
            });
            return;
        }
        QTimer::singleShot(0, this, [this, paths] { run([&] { LoadDroppedFiles(paths); }); });
        return;
    }
    QTimer::singleShot(0, this, [this, text = data->text()] { run([&] { PasteText(text); }); });
}
