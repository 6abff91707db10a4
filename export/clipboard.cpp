#include "export/clipboard.h"

#include "app/form1.h"
#include "export/paddedtext.h"

namespace {

void appendUtf8(QByteArray &out, QLatin1StringView text)
{
    const char *p = text.data();
    const qsizetype n = text.size();
    qsizetype ascii = 0;
    while (ascii < n && static_cast<unsigned char>(p[ascii]) < 0x80)
        ++ascii;
    out.append(p, ascii);
    if (ascii < n)
        out.append(QString(text.sliced(ascii)).toUtf8());
}

void appendUtf8(QByteArray &out, QStringView text)
{
    out.append(text.toUtf8());
}

// Appends one cell; the last cell of a line is neither padded nor closed.
template<typename Text>
void appendCell(QByteArray &out, Text text, qsizetype width, bool last)
{
    appendUtf8(out, text);
    if (last)
        return;
    const qsizetype length = CharacterCount(text);
    if (width > length)
        out.append(width - length, ' ');
    out.append('\t');
}

// The clipboard text of a list snapshot, made when a program pastes it.
class ListClipboardText final : public DeferredText
{
public:
    ListClipboardText(NumberListSnapshot list, std::vector<qsizetype> widths)
        : m_list(std::move(list)), m_widths(std::move(widths))
    {
    }
    QByteArray utf8() const override { return ClipboardTextUtf8(m_list, m_widths); }

private:
    NumberListSnapshot m_list;
    std::vector<qsizetype> m_widths;
};

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

QByteArray ClipboardTextUtf8(const NumberListSnapshot &list, const std::vector<qsizetype> &widths)
{
    const int columns = list.columnCount();
    QByteArray out;
    const qsizetype count = list.count();
    for (qsizetype row = 0; row < count; ++row) {
        if (!list.checked(row))
            continue;
        const qsizetype lineStart = out.size();
        for (int c = 0; c < columns; ++c) {
            const qsizetype width = widths[std::size_t(c)];
            const bool last = c + 1 == columns;
            if (c == 0)
                list.text(row).visit([&](auto text) { appendCell(out, text, width, last); });
            else
                appendCell(out, QStringView(list.cellText(row, c)), width, last);
        }
        // A space is one byte in UTF-8 and never part of another character.
        qsizetype end = out.size();
        while (end > lineStart && out.at(end - 1) == ' ')
            --end;
        out.truncate(end);
        out.append("\r\n", 2);
    }
    return out;
}

QString ClipboardText(const NumberListSnapshot &list, const std::function<void()> &yield)
{
    return QString::fromUtf8(ClipboardTextUtf8(list, PaddedColumnWidths(list, false, yield)));
}

void CopyListToClipboard(Form1 &form, ListView &list)
{
    NumberListSnapshot snapshot = list.listModel()->snapshot();
    if (snapshot.count() == 0)
        return; // nothing to copy: the clipboard keeps what it holds
    // The widths are measured now, while the window yields; the text itself is
    // made from the snapshot when it is pasted, so it is never held as a whole
    // while it is only on offer.
    std::vector<qsizetype> widths = PaddedColumnWidths(snapshot, false, [&form] { form.DoEvents(); });
    auto text = std::make_shared<const ListClipboardText>(std::move(snapshot), std::move(widths));
    ClearClipboard(form.platform());
    SetClipboardText(form.platform(), std::move(text), 0);
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

bool SetClipboardText(Platform &platform, const std::shared_ptr<const DeferredText> &text, int format)
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
