#pragma once

#include "app/list/numberlistmodel.h"

#include <QString>

#include <functional>

class Guarded;
class Platform;

// Writes the padded text file of the list, replacing the file only once it is
// complete. A failure is reported once and ends the export; an existing file
// is then left as it was. Closing the window meanwhile (a yield that throws
// CommandAborted) leaves no file behind. A file in a folder that takes no new
// file is written in place instead, when the user may read and write it, once
// there is room for the whole table; a failure or a closed window there puts
// the old content back. `yield` runs every few thousand entries and is free to
// return at once; `yieldNow` hands the window a turn each time it runs, while
// the file goes to the disk.
void SaveListviewProperlySpacedWithoutProgressBar(Platform &platform, const NumberListSnapshot &list,
                                                  const QString &fileName, const std::function<void()> &yield,
                                                  const std::function<void()> &yieldNow);

// The save command of a result list once its file is chosen: the window shows
// busy (`setBusy`) while the list is written, each step reported through `proc`.
void saveResultsAsText(Guarded &proc, Platform &platform, const NumberListModel &list,
                       const QString &fileName, const std::function<void(bool busy)> &setBusy,
                       const std::function<void()> &yield, const std::function<void()> &yieldNow);
