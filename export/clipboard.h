#pragma once

#include "app/list/numberlistmodel.h"

#include <QString>

#include <functional>

class Form1;
class ListView;
class Platform;

// Attempts per clipboard operation before giving up (another program may hold
// the clipboard for a moment).
inline constexpr int kClipboardAttempts = 1000;

// The clipboard text of a list: one line per checked entry, inner cells padded
// to the column's width (titles not counted) and closed by a TAB, the last cell
// unpadded, trailing spaces removed, CR LF after every line.
QString ClipboardText(const NumberListSnapshot &list, const std::function<void()> &yield = {});

// Puts the list's text on the clipboard; an empty list leaves it untouched.
void CopyListToClipboard(Form1 &form, ListView &list);

// Empties the clipboard, trying up to kClipboardAttempts times.
void ClearClipboard(Platform &platform);

// Puts the text on the clipboard (format 0: plain text), trying up to
// kClipboardAttempts times; true when it got there.
bool SetClipboardText(Platform &platform, const QString &text, int format);
