#include "platform/clipboardretry.h"

#include "platform/platform.h"

namespace {

// Another program may hold the clipboard for a moment: an operation is tried
// up to kClipboardAttempts times.
template<typename Attempt>
bool tryRepeatedly(const Attempt &attempt)
{
    for (int i = 0; i < kClipboardAttempts; ++i) {
        if (attempt())
            return true;
    }
    return false;
}

} // namespace

void ClearClipboard(Platform &platform)
{
    tryRepeatedly([&] { return platform.ClipboardClear(); });
}

bool SetClipboardText(Platform &platform, const QString &text, int format)
{
    return tryRepeatedly([&] { return platform.ClipboardSetText(text, format); });
}

bool SetClipboardText(Platform &platform, const std::shared_ptr<const DeferredText> &text, int format)
{
    return tryRepeatedly([&] { return platform.ClipboardSetText(text, format); });
}
