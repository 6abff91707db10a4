#pragma once

#include <QString>

#include <memory>

class DeferredText;
class Platform;

// Attempts per clipboard operation before giving up (another program may hold
// the clipboard for a moment).
inline constexpr int kClipboardAttempts = 1000;

// Empties the clipboard, trying up to kClipboardAttempts times.
void ClearClipboard(Platform &platform);

// Puts the text on the clipboard (format 0: plain text), trying up to
// kClipboardAttempts times; true when it got there.
bool SetClipboardText(Platform &platform, const QString &text, int format);
bool SetClipboardText(Platform &platform, const std::shared_ptr<const DeferredText> &text, int format);
