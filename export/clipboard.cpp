#include "export/clipboard.h"

#include "app/form1.h"
#include "export/paddedtext.h"

namespace {

constexpr qsizetype kYieldStride = 1024;

// Appends one cell; the last cell of a line is neither padded nor closed.
template<typename Text>
void appendCell(QString &out, Text text, qsizetype width, bool last)
{
    out.append(text);
    if (last)
        return;
    const qsizetype length = CharacterCount(text);
    if (width > length)
        out.resize(out.size() + width - length, QLatin1Char(' '));
    out.append(QLatin1Char('\t'));
}

// The copy command of both result lists.
void copyListToClipboard(Form1 &form, ListView &list, const QString &procedureText)
{
    Guarded proc(form.platform(), procedureText);
    proc(106, [&] { CopyListToClipboard(form, list); });
    proc(108, [&] {
        form.platform().MsgBox(
            QStringLiteral("Results have been copied to the clipboard.") + QStringLiteral("\r\r")
                + QStringLiteral("Click a text area where you normally type and press Ctrl+V "
                                 "to paste the clipboard."),
            MsgBoxStyle::OkOnly, QString());
    });
}

} // namespace

QString ClipboardText(const NumberListSnapshot &list, const std::function<void()> &yield)
{
    const std::vector<qsizetype> widths = PaddedColumnWidths(list, false, yield);
    const int columns = list.columnCount();
    QString out;
    const qsizetype count = list.count();
    for (qsizetype row = 0; row < count; ++row) {
        if (yield && row % kYieldStride == 0)
            yield();
        if (!list.checked(row))
            continue;
        const qsizetype lineStart = out.size();
        for (int c = 0; c < columns; ++c) {
            const qsizetype width = widths[std::size_t(c)];
            const bool last = c + 1 == columns;
            if (c == 0)
                list.text(row).visit([&](auto text) { appendCell(out, text, width, last); });
            else
                appendCell(out, list.cellText(row, c), width, last);
        }
        qsizetype end = out.size();
        while (end > lineStart && out.at(end - 1) == QLatin1Char(' '))
            --end;
        out.truncate(end);
        out.append(QLatin1StringView("\r\n"));
    }
    return out;
}

void CopyListToClipboard(Form1 &form, ListView &list)
{
    const NumberListSnapshot snapshot = list.listModel()->snapshot();
    if (snapshot.count() == 0)
        return; // nothing to copy: the clipboard keeps what it holds
    const QString text = ClipboardText(snapshot, [&form] { form.DoEvents(); });
    ClearClipboard(form.platform());
    SetClipboardText(form.platform(), text, 0);
}

void ClearClipboard(Platform &platform)
{
    for (int attempt = 0; attempt < kClipboardAttempts; ++attempt) {
        if (platform.ClipboardClear())
            return;
    }
}

bool SetClipboardText(Platform &platform, const QString &text, int format)
{
    for (int attempt = 0; attempt < kClipboardAttempts; ++attempt) {
        if (platform.ClipboardSetText(text, format))
            return true;
    }
    return false;
}

void Form1::PushButton10_Click()
{
    copyListToClipboard(*this, *ListView2, QStringLiteral("in Quillory2021/08/31.Form1.PushButton10_Click "));
}

void Form1::PushButton11_Click()
{
    copyListToClipboard(*this, *ListView3, QStringLiteral("in Quillory2021/08/31.Form1.PushButton11_Click "));
}
