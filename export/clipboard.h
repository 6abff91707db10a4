#pragma once

#include "app/list/numberlistmodel.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <vector>

class Guarded;
class Platform;

// The clipboard text of a list in UTF-8: one line per checked entry, inner
// cells padded to the column's width and closed by a TAB, the last cell
// unpadded, trailing spaces removed, CR LF after every line. `widths` are the
// columns' widths without the titles (PaddedColumnWidths(list, false)).
QByteArray ClipboardTextUtf8(const NumberListSnapshot &list, const std::vector<qsizetype> &widths);
// The same text whole, widths measured here.
QString ClipboardText(const NumberListSnapshot &list);

// Offers the list's text on the clipboard; an empty list leaves it untouched.
// The text is made from the snapshot when a program pastes it; `yield` runs
// while the column widths are measured.
void copyListToClipboard(Platform &platform, NumberListSnapshot list, const std::function<void()> &yield);

// The copy command of a result list: copies it and says so, each step
// reported through `proc`.
void copyResultsToClipboard(Guarded &proc, Platform &platform, const NumberListModel &list,
                            const std::function<void()> &yield);
