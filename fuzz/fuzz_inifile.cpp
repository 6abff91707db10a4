// The settings file editor: any file, any sequence of edits of the three
// check keys of our group. After each edit every line that is not one of our
// key lines is as it was, in order, the key written reads back as its value
// and the other two read as they did. Which lines are ours is decided by a
// reference that walks each line through a small state machine and matches
// the names as written against ours, escapes included, without decoding them.

#include "fuzz/fuzzsupport.h"

#include "platform/inifile.h"

#include <optional>
#include <string>
#include <vector>

namespace {

const QByteArray kGroup = "Quillory";
const QByteArray kKeys[] = {"Check1", "Check2", "Check3"};

// One line: its bytes and the line end after them (CR LF, CR, LF or none).
struct RefLine
{
    QByteArray text;
    QByteArray end;
    bool operator==(const RefLine &) const = default;
};

struct RefFile
{
    bool byteOrderMark = false;
    std::vector<RefLine> lines;
};

RefFile splitLines(const QByteArray &file)
{
    RefFile out;
    qsizetype i = 0;
    if (file.size() >= 3 && uchar(file[0]) == 0xEF && uchar(file[1]) == 0xBB && uchar(file[2]) == 0xBF) {
        out.byteOrderMark = true;
        i = 3;
    }
    RefLine line;
    for (; i < file.size(); ++i) {
        const char c = file[i];
        if (c == '\n') {
            line.end = "\n";
        } else if (c == '\r') {
            line.end = (i + 1 < file.size() && file[i + 1] == '\n') ? "\r\n" : "\r";
            i += line.end.size() - 1;
        } else {
            line.text.append(c);
            continue;
        }
        out.lines.push_back(line);
        line = RefLine();
    }
    if (!line.text.isEmpty())
        out.lines.push_back(line);
    return out;
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\v' || c == '\f';
}

int hexValue(char c)
{
    static constexpr char digits[] = "0123456789abcdef";
    const char lower = c >= 'A' && c <= 'F' ? char(c - 'A' + 'a') : c;
    for (int d = 0; d < 16; ++d) {
        if (digits[d] == lower)
            return d;
    }
    return -1;
}

// Whether `raw` (trimmed of blanks) is a way of writing `name`: each of its
// characters either as itself, as %XX or as %UXXXX.
bool spells(QByteArray raw, const QByteArray &name)
{
    raw = raw.trimmed();
    qsizetype at = 0;
    for (const char wanted : name) {
        if (at >= raw.size())
            return false;
        if (raw[at] == '%' && at + 5 < raw.size() && raw[at + 1] == 'U') {
            int code = 0;
            bool hex = true;
            for (int k = 2; k <= 5; ++k) {
                hex = hex && hexValue(raw[at + k]) >= 0;
                code = code * 16 + hexValue(raw[at + k]);
            }
            if (hex) {
                if (code != uchar(wanted))
                    return false;
                at += 6;
                continue;
            }
        }
        if (raw[at] == '%' && at + 2 < raw.size() && hexValue(raw[at + 1]) >= 0
            && hexValue(raw[at + 2]) >= 0) {
            if (hexValue(raw[at + 1]) * 16 + hexValue(raw[at + 2]) != uchar(wanted))
                return false;
            at += 3;
            continue;
        }
        if (raw[at] != wanted)
            return false;
        ++at;
    }
    return at == raw.size();
}

// What a line is: a group header with its name as written, a key line with
// its name as written and its comment (from an unquoted ';' on), or neither.
struct RefKind
{
    enum { Other, Header, Key } kind = Other;
    QByteArray name;
    QByteArray comment;
};

RefKind classify(const QByteArray &text)
{
    RefKind out;
    qsizetype start = 0;
    while (start < text.size() && isBlank(text[start]))
        ++start;
    if (start == text.size() || text[start] == ';')
        return out;
    if (text[start] == '[') {
        out.kind = RefKind::Header;
        const qsizetype close = text.indexOf(']', start + 1);
        out.name = text.mid(start + 1, close < 0 ? -1 : close - start - 1);
        return out;
    }
    enum class State { Plain, PlainEscape, Quoted, QuotedEscape } state = State::Plain;
    qsizetype equals = -1;
    for (qsizetype i = start; i < text.size(); ++i) {
        const char c = text[i];
        switch (state) {
        case State::PlainEscape:
            state = State::Plain;
            break;
        case State::QuotedEscape:
            state = State::Quoted;
            break;
        case State::Quoted:
            if (c == '\\')
                state = State::QuotedEscape;
            else if (c == '"')
                state = State::Plain;
            break;
        case State::Plain:
            if (c == '\\')
                state = State::PlainEscape;
            else if (c == '"')
                state = State::Quoted;
            else if (c == '=' && equals < 0)
                equals = i;
            else if (c == ';' && equals >= 0) {
                out.comment = text.mid(i);
                i = text.size();
            } else if (c == ';') {
                return out; // a ';' before any '=': no key on this line
            }
            break;
        }
    }
    if (equals < 0)
        return RefKind();
    out.kind = RefKind::Key;
    out.name = text.mid(start, equals - start);
    return out;
}

bool isOurHeader(const RefKind &kind)
{
    return kind.kind == RefKind::Header && spells(kind.name, kGroup);
}

bool isKeyLine(const RefKind &kind, const QByteArray &key)
{
    return kind.kind == RefKind::Key && spells(kind.name, key);
}

// Where `key` stands in our group: the last line of it, and the last of the
// group's header and key lines.
struct RefPlace
{
    qsizetype keyLine = -1;
    qsizetype lastInGroup = -1;
};

RefPlace place(const RefFile &file, const QByteArray &key)
{
    RefPlace out;
    bool inGroup = false; // the lines before any header belong to no named group
    for (qsizetype i = 0; i < qsizetype(file.lines.size()); ++i) {
        const RefKind kind = classify(file.lines[std::size_t(i)].text);
        if (kind.kind == RefKind::Header) {
            inGroup = isOurHeader(kind);
            if (inGroup)
                out.lastInGroup = i;
        } else if (kind.kind == RefKind::Key && inGroup) {
            out.lastInGroup = i;
            if (isKeyLine(kind, key))
                out.keyLine = i;
        }
    }
    return out;
}

QByteArray firstLineEnd(const RefFile &file)
{
    for (const RefLine &line : file.lines) {
        if (!line.end.isEmpty())
            return line.end;
    }
    return "\n";
}

std::string show(const std::optional<QByteArray> &value)
{
    return value ? '[' + fuzz::show(*value) + ']' : std::string("(absent)");
}

std::string describe(const QByteArray &before, const QByteArray &after, const QByteArray &key,
                     const QByteArray &value)
{
    return "key " + fuzz::show(key) + " = [" + fuzz::show(value) + "]\nbefore: " + fuzz::show(before)
        + "\nafter:  " + fuzz::show(after);
}

void checkEdit(const QByteArray &before, const QByteArray &after, const QByteArray &key,
               const QByteArray &value)
{
    const auto detail = [&] { return describe(before, after, key, value); };
    const RefFile was = splitLines(before);
    const RefFile is = splitLines(after);
    FUZZ_CHECK(was.byteOrderMark == is.byteOrderMark, "the byte-order mark changed\n" + detail());
    const RefPlace at = place(was, key);
    const std::size_t n = was.lines.size();

    FUZZ_CHECK(IniFile::value(before, kGroup, key).has_value() == (at.keyLine >= 0),
               "the reader and the reference disagree on whether the key is there\n" + detail());

    if (at.keyLine >= 0) {
        // Only the line that counts changes, and it stays the same key with the same comment.
        FUZZ_CHECK(is.lines.size() == n, "the number of lines changed\n" + detail());
        for (std::size_t i = 0; i < n; ++i) {
            if (qsizetype(i) != at.keyLine)
                FUZZ_CHECK(is.lines[i] == was.lines[i],
                           "line " + std::to_string(i) + " changed\n" + detail());
        }
        const RefLine &old = was.lines[std::size_t(at.keyLine)];
        const RefLine &now = is.lines[std::size_t(at.keyLine)];
        const RefKind kind = classify(now.text);
        FUZZ_CHECK(isKeyLine(kind, key), "the key's line is no longer the key's\n" + detail());
        FUZZ_CHECK(now.text.startsWith(old.text.first(old.text.indexOf('=') + 1)),
                   "the key as written changed\n" + detail());
        FUZZ_CHECK(kind.comment == classify(old.text).comment, "the comment changed\n" + detail());
        FUZZ_CHECK(now.end == old.end, "the key line's line end changed\n" + detail());
        return;
    }

    if (at.lastInGroup >= 0) {
        // One new line, straight after the group's last header or key line.
        const std::size_t after = std::size_t(at.lastInGroup) + 1;
        FUZZ_CHECK(is.lines.size() == n + 1, "not one line added\n" + detail());
        for (std::size_t i = 0; i < n; ++i) {
            const RefLine &old = was.lines[i];
            const RefLine &now = is.lines[i < after ? i : i + 1];
            if (i + 1 == after && i + 1 == n && old.end.isEmpty()) {
                // The file's last line gets a line end, so that ours can follow it.
                FUZZ_CHECK(now.text == old.text && now.end == firstLineEnd(was),
                           "the last line changed\n" + detail());
            } else {
                FUZZ_CHECK(now == old, "line " + std::to_string(i) + " changed\n" + detail());
            }
        }
        const RefKind kind = classify(is.lines[after].text);
        FUZZ_CHECK(isKeyLine(kind, key) && kind.comment.isEmpty(),
                   "the added line is not the key's\n" + detail());
        return;
    }

    // A new group at the end: the old lines, then at most one blank line, our header and the key.
    FUZZ_CHECK(is.lines.size() >= n + 2 && is.lines.size() <= n + 3, "not a group added\n" + detail());
    const QByteArray lineEnd = firstLineEnd(was);
    for (std::size_t i = 0; i < n; ++i) {
        if (i + 1 == n && was.lines[i].end.isEmpty())
            FUZZ_CHECK(is.lines[i].text == was.lines[i].text && is.lines[i].end == lineEnd,
                       "the last line changed\n" + detail());
        else
            FUZZ_CHECK(is.lines[i] == was.lines[i], "line " + std::to_string(i) + " changed\n" + detail());
    }
    std::size_t next = n;
    if (is.lines.size() == n + 3) {
        // Its line end is the file's, or the one of the line before it.
        FUZZ_CHECK(n > 0 && is.lines[next].text.isEmpty()
                       && (is.lines[next].end == lineEnd || is.lines[next].end == is.lines[next - 1].end),
                   "the line before the new group is not blank\n" + detail());
        ++next;
    }
    FUZZ_CHECK(isOurHeader(classify(is.lines[next].text)),
               "the new group has no header of ours\n" + detail());
    FUZZ_CHECK(is.lines[next].end == lineEnd, "the header's line end\n" + detail());
    const RefKind kind = classify(is.lines[next + 1].text);
    FUZZ_CHECK(isKeyLine(kind, key) && kind.comment.isEmpty(),
               "the new group's line is not the key's\n" + detail());
    FUZZ_CHECK(is.lines[next + 1].end == lineEnd, "the key line's line end\n" + detail());
}

} // namespace

// The input: the values of up to four edits, each ended by "\" and a byte
// other than "\" ("\\" is a backslash of the value), then the file; its last
// bytes say how many edits there are and which key each sets.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *bytes, std::size_t size)
{
    FuzzedDataProvider data(bytes, size);
    const int edits = data.ConsumeIntegralInRange<int>(1, 4);
    std::vector<std::pair<QByteArray, QByteArray>> steps;
    for (int e = 0; e < edits; ++e) {
        const QByteArray key = kKeys[data.ConsumeIntegralInRange<int>(0, 2)];
        const std::string value = data.ConsumeRandomLengthString(64);
        steps.emplace_back(key, QByteArray(value.data(), qsizetype(value.size())));
    }
    const std::string rest = data.ConsumeRemainingBytesAsString();
    QByteArray file(rest.data(), qsizetype(rest.size()));

    for (const auto &step : steps) {
        const QByteArray &key = step.first;
        const QByteArray &value = step.second;
        const QByteArray edited = IniFile::withValue(file, kGroup, key, value);
        checkEdit(file, edited, key, value);
        const auto detail = [&] { return describe(file, edited, key, value); };
        const std::optional<QByteArray> read = IniFile::value(edited, kGroup, key);
        FUZZ_CHECK(read == value, "read back " + show(read) + "\n" + detail());
        for (const QByteArray &other : kKeys) {
            if (other == key)
                continue;
            const std::optional<QByteArray> then = IniFile::value(file, kGroup, other);
            const std::optional<QByteArray> now = IniFile::value(edited, kGroup, other);
            FUZZ_CHECK(then == now,
                       fuzz::show(other) + " read " + show(then) + " before and " + show(now) + " after\n"
                           + detail());
        }
        file = edited;
    }
    return 0;
}
