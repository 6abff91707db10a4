#pragma once

// Loading numbers from text files into a number list.

#include <QChar>
#include <QDir>
#include <QList>
#include <QString>
#include <QStringView>

#include <functional>

class ListView;
class NumberListModel;
class Platform;

namespace Main {

// Size of one read from a text file.
inline constexpr qsizetype kTextReadBufferSize = qsizetype(1) << 20;

// Tidies a path built from the open dialog's answer: a run of leading
// separators becomes exactly two backslashes (a network path keeps its prefix)
// or, with "/" as the separator, one slash (the root); elsewhere each pair of
// adjacent separators becomes one, pairs taken from left to right. Never
// touches the file system.
QString NormalizePath(const QString &path, QChar separator = QDir::separator());

// Appends the lines of a Windows-1252 text file to the list, one entry per
// line, and one per piece between line feeds inside a line. A missing file
// shows "File not found" and adds nothing. Throws Failure when the path is not
// a regular file or cannot be opened or read, and std::bad_alloc when memory
// runs out; the entries appended until then stay and are shown.
void LoadTextFileIntoList(Platform &platform, NumberListModel &list, const QString &path,
                          qsizetype bufferSize = kTextReadBufferSize);
void LoadTextFileIntoList(Platform &platform, ListView *list, const QString &path);

// The reading part of LoadTextFileIntoList: appends the entries of the
// Windows-1252 bytes that `read` hands out, up to `size` bytes a call into a
// buffer of `bufferSize` bytes, and 0 at their end. Entries come out the same
// whatever size each read returns. With two threads (Workers::count()) the
// reads run on a second thread, one at a time and a few buffers ahead of the
// appends; what a read throws is thrown here once the entries before it are
// appended, and that thread is done before this returns.
void ReadTextEntries(const std::function<qsizetype(char *buffer, qsizetype size)> &read,
                     NumberListModel &list, qsizetype bufferSize = kTextReadBufferSize);

// The pieces of a prompt's answer: split at every comma, empty pieces kept.
QList<QStringView> SplitAtCommas(QStringView text);
// The piece without its leading and trailing spaces (U+0020 only).
QStringView TrimSpaces(QStringView text);

// Appends one entry per line of the text: a line ends at CR LF, CR or LF, and
// a line end at the very end makes no extra line. Nothing is trimmed or split.
// The views hear of the new entries once.
void AppendLines(NumberListModel &list, QStringView text);

} // namespace Main
