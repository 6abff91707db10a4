#pragma once

// What the input list's commands do to a list, apart from the window. Each
// takes its command's guarded procedure and reports a failure at the step
// (the line of the error report) where it happened.

#include <QStringList>
#include <QStringView>

class Guarded;
class ListView;
class NumberListModel;
class Platform;

namespace Input {

// "Add Phone Number or Numbers", steps 100 to 112: asks for numbers and
// appends each piece between commas, without its leading and trailing spaces.
// A cancelled or empty answer adds nothing. The views hear of the new entries
// once.
void addTypedNumbers(Platform &platform, Guarded &proc, NumberListModel &list);

// "Load Sample/Example Numbers", steps 100 to 104: one number of each length.
void addSampleNumbers(Guarded &proc, NumberListModel &list);

// "Clear List", step 100: empties the list unless a command is running.
void clearInputList(Guarded &proc, NumberListModel &list, bool busy);

// "Load Numbers From Text File", steps 120 to 134: loads the files the open
// dialog's answer names, split at its NULs: one full path, or the folder and
// then the names.
void loadChosenTextFiles(Platform &platform, Guarded &proc, NumberListModel &list, const QStringList &answer);

// The same steps for files given by their full paths, as a drop gives them.
void loadTextFiles(Platform &platform, Guarded &proc, NumberListModel &list, const QStringList &paths);

// The paste, steps 100 to 104: appends the clipboard's text, one entry a line.
// An empty clipboard, or one without text, adds nothing.
void pasteClipboardText(Platform &platform, Guarded &proc, NumberListModel &list);

// The paste's step 104: appends the text, one entry a line.
void appendPastedText(Guarded &proc, NumberListModel &list, QStringView text);

// Copying an entry, steps 100 and 102: puts the selected entry's text on the
// clipboard. With nothing selected the clipboard keeps what it holds.
void copySelectedEntry(Platform &platform, Guarded &proc, const ListView &list);

} // namespace Input
