#include "input/inputedits.h"

#include "app/list/listview.h"
#include "app/list/numberlistmodel.h"
#include "input/textimport.h"
#include "platform/clipboardretry.h"
#include "platform/errorreport.h"
#include "platform/failure.h"
#include "platform/platform.h"

#include <QDir>

#include <optional>

namespace Input {

void addTypedNumbers(Platform &platform, Guarded &proc, NumberListModel &list)
{
    QString answer;
    proc(100, [&] {
        // An empty title shows the application title.
        answer = platform.InputBox(QStringLiteral("Enter phone number or numbers (use commas):"), QString());
    });
    bool done = true;
    proc(102, [&] { done = answer.isEmpty(); });
    if (done)
        return; // cancelled, or nothing typed
    QList<QStringView> pieces;
    proc(104, [&] { pieces = Main::SplitAtCommas(answer); });
    proc(106, [&] { done = pieces.isEmpty(); });
    if (done)
        return;
    NumberListModel::Batch batch(list);
    for (qsizetype k = 0; k < pieces.size(); ++k) {
        QStringView piece;
        bool trimmed = false;
        proc(108, [&] { piece = pieces.at(k); });
        proc(110, [&] {
            piece = Main::TrimSpaces(piece);
            trimmed = true;
        });
        // A piece that could not be trimmed is not appended half-made.
        if (trimmed)
            proc(112, [&] { list.append(piece); });
    }
}

void addSampleNumbers(Guarded &proc, NumberListModel &list)
{
    proc(100, [&] { list.append(QLatin1StringView("888-342-9122")); });
    proc(102, [&] { list.append(QLatin1StringView("1-888-342-9122")); });
    proc(104, [&] { list.append(QLatin1StringView("342-9122")); });
}

void clearInputList(Guarded &proc, NumberListModel &list, bool busy)
{
    proc(100, [&] {
        if (!busy)
            list.clear();
    });
}

void loadChosenTextFiles(Platform &platform, Guarded &proc, NumberListModel &list, const QStringList &answer)
{
    if (answer.size() == 1) {
        // One file: the answer is its full path.
        proc(120, [&] { Main::LoadTextFileIntoList(platform, list, answer.at(0)); });
    } else if (answer.size() >= 2) {
        // Several files: the folder, then the names.
        const QString &folder = answer.at(0);
        for (qsizetype i = 1; i < answer.size(); ++i) {
            QString path;
            proc(130, [&] { path = folder + QDir::separator() + answer.at(i); });
            proc(132, [&] { path = Main::NormalizePath(path); });
            proc(134, [&] { Main::LoadTextFileIntoList(platform, list, path); });
        }
    }
}

void loadTextFiles(Platform &platform, Guarded &proc, NumberListModel &list, const QStringList &paths)
{
    if (paths.size() == 1) {
        proc(120, [&] { Main::LoadTextFileIntoList(platform, list, paths.at(0)); });
    } else {
        for (const QString &path : paths)
            proc(134, [&] { Main::LoadTextFileIntoList(platform, list, path); });
    }
}

void pasteClipboardText(Platform &platform, Guarded &proc, NumberListModel &list)
{
    QString text;
    proc(100, [&] { text = platform.ClipboardText(); });
    bool empty = true;
    proc(102, [&] { empty = text.isEmpty(); });
    if (empty)
        return; // nothing on the clipboard, or no text
    appendPastedText(proc, list, text);
}

void appendPastedText(Guarded &proc, NumberListModel &list, QStringView text)
{
    // Like adding numbers by hand, this does not wait for a running command:
    // an export reads a snapshot of its list, which appending never changes.
    proc(104, [&] { Main::AppendLines(list, text); });
}

void copySelectedEntry(Platform &platform, Guarded &proc, const ListView &list)
{
    QString text;
    bool any = false;
    proc(100, [&] {
        if (const std::optional<ListItem> item = list.SelectedItem()) {
            text = item->Text();
            any = true;
        }
    });
    if (!any)
        return; // no entry selected: the clipboard keeps what it holds
    proc(102, [&] {
        if (!SetClipboardText(platform, text, 0))
            throw Failure(QStringLiteral("The clipboard is in use by another program"));
    });
}

} // namespace Input
