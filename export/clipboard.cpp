#include "export/clipboard.h"

#include "export/paddedtext.h"
#include "platform/clipboardretry.h"
#include "platform/errorreport.h"
#include "platform/platform.h"

#include <cstring>
#include <memory>

namespace {

// The text is laid out twice: once to count its bytes, once to write them
// into a buffer of exactly that size, so that it is never grown or copied.

// Counts the bytes of the text, trailing spaces of each line left out.
class ByteCounter
{
public:
    void put(const char *p, qsizetype n)
    {
        if (n == 0)
            return;
        qsizetype spaces = 0;
        while (spaces < n && p[n - 1 - spaces] == ' ')
            ++spaces;
        m_trailing = spaces == n ? m_trailing + n : spaces;
        m_total += n;
    }
    void putLatin1(const char *p, qsizetype n)
    {
        qsizetype high = 0;
        for (qsizetype i = 0; i < n; ++i)
            high += static_cast<unsigned char>(p[i]) >> 7;
        put(p, n);       // the trailing spaces are the same bytes in UTF-8
        m_total += high; // a character above 0x7F takes two bytes
    }
    void spaces(qsizetype n)
    {
        m_trailing += n;
        m_total += n;
    }
    void endLine()
    {
        m_total += 2 - m_trailing;
        m_trailing = 0;
    }
    qsizetype total() const { return m_total; }

private:
    qsizetype m_total = 0;
    qsizetype m_trailing = 0;
};

// Spaces at the end of the bytes.
qsizetype trailingSpaces(const char *p, qsizetype n)
{
    qsizetype spaces = 0;
    while (spaces < n && p[n - 1 - spaces] == ' ')
        ++spaces;
    return spaces;
}

// Writes the text into room counted by ByteCounter. Spaces are held back
// until something other than the line end follows them, so that spaces the
// line end removes are never written: the room has no place for them.
class ByteWriter
{
public:
    explicit ByteWriter(char *out) : m_p(out) {}
    void put(const char *p, qsizetype n)
    {
        const qsizetype kept = n - trailingSpaces(p, n);
        if (kept > 0) {
            flushSpaces();
            std::memcpy(m_p, p, std::size_t(kept));
            m_p += kept;
        }
        m_spaces += n - kept;
    }
    void putLatin1(const char *p, qsizetype n)
    {
        const qsizetype kept = n - trailingSpaces(p, n);
        if (kept > 0)
            flushSpaces();
        qsizetype ascii = 0;
        while (ascii < kept && static_cast<unsigned char>(p[ascii]) < 0x80)
            ++ascii;
        if (ascii > 0) {
            std::memcpy(m_p, p, std::size_t(ascii));
            m_p += ascii;
        }
        for (qsizetype i = ascii; i < kept; ++i) {
            const auto c = static_cast<unsigned char>(p[i]);
            if (c < 0x80) {
                *m_p++ = char(c);
            } else {
                *m_p++ = char(0xC0 | (c >> 6));
                *m_p++ = char(0x80 | (c & 0x3F));
            }
        }
        m_spaces += n - kept;
    }
    void spaces(qsizetype n) { m_spaces += n; }
    void endLine()
    {
        m_spaces = 0; // a line loses its trailing spaces
        *m_p++ = '\r';
        *m_p++ = '\n';
    }
    const char *end() const { return m_p; }

private:
    void flushSpaces()
    {
        std::memset(m_p, ' ', std::size_t(m_spaces));
        m_p += m_spaces;
        m_spaces = 0;
    }

    char *m_p;
    qsizetype m_spaces = 0; // written only when something follows them
};

template<typename Sink>
void putText(Sink &sink, QLatin1StringView text)
{
    sink.putLatin1(text.data(), text.size());
}

template<typename Sink>
void putText(Sink &sink, QStringView text)
{
    const QByteArray utf8 = text.toUtf8();
    sink.put(utf8.constData(), utf8.size());
}

// One cell; the last cell of a line is neither padded nor closed.
template<typename Sink, typename Text>
void putCell(Sink &sink, Text text, qsizetype width, bool last)
{
    putText(sink, text);
    if (last)
        return;
    const qsizetype length = CharacterCount(text);
    if (width > length)
        sink.spaces(width - length);
    sink.put("\t", 1);
}

template<typename Sink>
void putLines(Sink &sink, const NumberListSnapshot &list, const std::vector<qsizetype> &widths)
{
    const int columns = list.columnCount();
    const qsizetype count = list.count();
    for (qsizetype row = 0; row < count; ++row) {
        if (!list.checked(row))
            continue;
        for (int c = 0; c < columns; ++c) {
            const qsizetype width = widths[std::size_t(c)];
            const bool last = c + 1 == columns;
            if (c == 0)
                list.text(row).visit([&](auto text) { putCell(sink, text, width, last); });
            else
                putCell(sink, QStringView(list.cellText(row, c)), width, last);
        }
        sink.endLine();
    }
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

} // namespace

QByteArray ClipboardTextUtf8(const NumberListSnapshot &list, const std::vector<qsizetype> &widths)
{
    ByteCounter counter;
    putLines(counter, list, widths);
    QByteArray out(counter.total(), Qt::Uninitialized);
    ByteWriter writer(out.data());
    putLines(writer, list, widths);
    Q_ASSERT(writer.end() == out.constData() + out.size());
    return out;
}

QString ClipboardText(const NumberListSnapshot &list)
{
    return DeferredText::textOfUtf8(ClipboardTextUtf8(list, PaddedColumnWidths(list, false)));
}

void copyListToClipboard(Platform &platform, NumberListSnapshot list, const std::function<void()> &yield)
{
    if (list.count() == 0)
        return; // nothing to copy: the clipboard keeps what it holds
    // The widths are measured now, while the window yields; the text itself is
    // made from the snapshot when it is pasted, so it is never held as a whole
    // while it is only on offer.
    std::vector<qsizetype> widths = PaddedColumnWidths(list, false, yield);
    auto text = std::make_shared<const ListClipboardText>(std::move(list), std::move(widths));
    ClearClipboard(platform);
    SetClipboardText(platform, std::move(text), 0);
}

void copyResultsToClipboard(Guarded &proc, Platform &platform, const NumberListModel &list,
                            const std::function<void()> &yield)
{
    proc(106, [&] { copyListToClipboard(platform, list.snapshot(), yield); });
    proc(108, [&] {
        platform.MsgBox(QStringLiteral("Results have been copied to the clipboard.") + QStringLiteral("\r\r")
                            + QStringLiteral("Click a text area where you normally type and press Ctrl+V "
                                             "to paste the clipboard."),
                        MsgBoxStyle::OkOnly, QString());
    });
}
