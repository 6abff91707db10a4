#pragma once

#include "app/list/numberlistmodel.h"

#include <QString>

#include <functional>

class Guarded;
class Platform;

// True when a spreadsheet program is found; otherwise says so in a message
// box. Never fails: a failed search counts as none found.
bool spreadsheetProgramInstalled(Platform &platform);

// The "Save Results As Excel File" command's work: the list as a new
// workbook of `kind` ("valid", "invalid") in the spreadsheet folder, handed
// to the spreadsheet program. The window shows busy (`setBusy`) from the
// first write to the end, however the command ends; `yield` runs per title
// and per entry. A failure that would spoil every later step is reported
// through `proc` once and ends the command; what did not fit a sheet is
// reported and the rest still reaches the user.
void exportListAsWorkbook(Guarded &proc, Platform &platform, const NumberListModel &list, const QString &kind,
                          const std::function<void(bool busy)> &setBusy, const std::function<void()> &yield);
