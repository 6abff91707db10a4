// Ways into the input list beyond the buttons: pasting the clipboard's text,
// dropping files or text on the window, and copying one entry of any list.
// The list edits are in input/inputedits.h.

#include "app/form1.h"
#include "input/inputedits.h"
#include "platform/procedures.h"

#include <QDir>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QShortcut>
#include <QTimer>
#include <QUrl>

#include <optional>

namespace {

bool hasUrls(const QMimeData *data)
{
    return data->hasUrls() && !data->urls().isEmpty();
}

// Local files, text, or URLs that will be refused with a message.
bool isWelcome(const QMimeData *data)
{
    return data && (hasUrls(data) || data->hasText());
}

bool acceptsDropAt(const Form1 &form, QPoint position)
{
    // The result lists hold what a run produced: nothing is dropped there.
    for (const QWidget *w = form.childAt(position); w; w = w->parentWidget()) {
        if (w == form.ListView2 || w == form.ListView3)
            return false;
    }
    return form.rect().contains(position);
}

// Takes the drag as a copy when `welcome`, else refuses it; returns `welcome`.
bool answerDrag(QDropEvent *event, bool welcome)
{
    if (!welcome) {
        event->ignore();
        return false;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    return true;
}

// The native paths of the dropped files; none when one of them is elsewhere.
std::optional<QStringList> localPaths(const QList<QUrl> &urls)
{
    QStringList paths;
    for (const QUrl &url : urls) {
        if (!url.isLocalFile())
            return std::nullopt;
        paths.append(QDir::toNativeSeparators(url.toLocalFile()));
    }
    return paths;
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

void Form1::ListView1_Paste()
{
    Guarded proc(m_platform, Procedure::ListView1_Paste);
    Input::pasteClipboardText(m_platform, proc, *ListView1->listModel());
}

void Form1::PasteText(const QString &text)
{
    Guarded proc(m_platform, Procedure::ListView1_Paste);
    if (text.isEmpty())
        return;
    Input::appendPastedText(proc, *ListView1->listModel(), text);
}

void Form1::LoadDroppedFiles(const QStringList &paths)
{
    // The steps of "Load Numbers From Text File" after the dialog's answer.
    Guarded proc(m_platform, Procedure::PushButton3_Click);
    if (paths.isEmpty())
        return;
    proc(114, [&] { SetMousePointer(Pointer::Hourglass); });
    Input::loadTextFiles(m_platform, proc, *ListView1->listModel(), paths);
    proc(138, [&] { SetMousePointer(Pointer::Default); });
}

void Form1::ListView1_Copy()
{
    Guarded proc(m_platform, Procedure::ListView1_Copy);
    Input::copySelectedEntry(m_platform, proc, *ListView1);
}

void Form1::ListView2_Copy()
{
    Guarded proc(m_platform, Procedure::ListView2_Copy);
    Input::copySelectedEntry(m_platform, proc, *ListView2);
}

void Form1::ListView3_Copy()
{
    Guarded proc(m_platform, Procedure::ListView3_Copy);
    Input::copySelectedEntry(m_platform, proc, *ListView3);
}

void Form1::dragEnterEvent(QDragEnterEvent *event)
{
    // Accepted by its content; each move then decides by the place.
    answerDrag(event, isWelcome(event->mimeData()));
}

void Form1::dragMoveEvent(QDragMoveEvent *event)
{
    answerDrag(event, isWelcome(event->mimeData()) && acceptsDropAt(*this, event->position().toPoint()));
}

void Form1::dropEvent(QDropEvent *event)
{
    const QMimeData *data = event->mimeData();
    if (!answerDrag(event, isWelcome(data) && acceptsDropAt(*this, event->position().toPoint())))
        return;
    // The work runs after the drop has been answered, so that the program the
    // drag came from is not kept waiting while the files load.
    std::function<void()> work;
    if (!hasUrls(data)) {
        work = [this, text = data->text()] { PasteText(text); };
    } else if (const std::optional<QStringList> paths = localPaths(data->urls())) {
        work = [this, paths = *paths] { LoadDroppedFiles(paths); };
    } else {
        work = [this] {
            m_platform.MsgBox(
                QStringLiteral("Only files on this computer can be loaded. Nothing was loaded."),
                MsgBoxStyle::Exclamation, QString());
        };
    }
    QTimer::singleShot(0, this, [this, work] { run(work); });
}
