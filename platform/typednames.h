#pragma once

#include <QString>
#include <QStringList>

// The text of a file dialog's name box, read as the user typed it.
//
// A quoted list is one or more names, each in double quotes, separated by
// white space, with white space allowed around the whole: "a.txt" "b.txt".
// Inside the quotes a double quote of the name is written twice:
// "5""55.txt" is the name 5"55.txt. Any other text is one name, exactly as
// typed, quotes and spaces included: my "best" list.txt is that one name.

// The names in the typed text, in order: the items of a quoted list (empty
// items left out), or the text itself as one name. Nothing for text that is
// empty or only white space.
QStringList SplitTypedFileNames(const QString &text);

// The text that SplitTypedFileNames reads back as exactly `names`: a single
// name as it is where that reads back, otherwise a quoted list.
QString JoinTypedFileNames(const QStringList &names);
