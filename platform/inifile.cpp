#include "platform/inifile.h"

#include <QList>
#include <QString>
#include <QStringDecoder>

namespace {

constexpr QByteArrayView kByteOrderMark = "\xEF\xBB\xBF";

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\v' || c == '\f';
}

// The blanks a value may have around it. Unlike a line's leading blanks,
// a vertical tab or a form feed there is part of the value.
bool isValueBlank(char c)
{
    return c == ' ' || c == '\t';
}

bool isLineEnd(char c)
{
    return c == '\n' || c == '\r';
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

enum class Kind { Other, Header, Key };

// One line of the file, as offsets into it.
struct Line
{
    qsizetype begin = 0; // first byte (after a byte-order mark)
    qsizetype end = 0;   // end of the content, before the line end
    qsizetype next = 0;  // first byte of the next line
    Kind kind = Kind::Other;
    QString name;             // the group's or the key's name, unescaped
    qsizetype valueBegin = 0; // after the '='
    qsizetype valueEnd = 0;   // before a comment, or at the end
};

// UTF-8 text as it is. QString::fromUtf8 drops a leading U+FEFF, which in a
// name is a character like any other: "\xEF\xBB\xBFCheck1" is not "Check1".
QString fromUtf8(QByteArrayView utf8)
{
    QStringDecoder decoder(QStringDecoder::Utf8,
                           QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    return decoder.decode(utf8);
}

// Undoes the name escapes of Qt's INI files: %XX and %UXXXX, and '\' for '/'.
QString unescapedName(QByteArrayView text)
{
    QString name;
    qsizetype i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c == '\\') {
            name += QLatin1Char('/');
            ++i;
        } else if (c == '%' && i + 5 < text.size() && text[i + 1] == 'U' && hexDigit(text[i + 2]) >= 0
                   && hexDigit(text[i + 3]) >= 0 && hexDigit(text[i + 4]) >= 0
                   && hexDigit(text[i + 5]) >= 0) {
            name += QChar(char16_t(hexDigit(text[i + 2]) << 12 | hexDigit(text[i + 3]) << 8
                                   | hexDigit(text[i + 4]) << 4 | hexDigit(text[i + 5])));
            i += 6;
        } else if (c == '%' && i + 2 < text.size() && hexDigit(text[i + 1]) >= 0
                   && hexDigit(text[i + 2]) >= 0) {
            name += QChar(char16_t(hexDigit(text[i + 1]) << 4 | hexDigit(text[i + 2])));
            i += 3;
        } else {
            qsizetype j = i + 1;
            while (j < text.size() && text[j] != '\\' && text[j] != '%')
                ++j;
            name += fromUtf8(text.sliced(i, j - i));
            i = j;
        }
    }
    return name;
}

// A name written so that it reads back as itself and cannot be taken for
// anything else on its line.
QByteArray escapedName(QByteArrayView utf8)
{
    QByteArray out;
    for (const QChar ch : fromUtf8(utf8)) {
        const char16_t u = ch.unicode();
        if ((u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '_' || u == '-'
            || u == '.')
            out += char(u);
        else if (u <= 0xFF)
            out += '%' + QByteArray::number(u, 16).toUpper().rightJustified(2, '0');
        else
            out += "%U" + QByteArray::number(u, 16).toUpper().rightJustified(4, '0');
    }
    return out;
}

Line parseLine(QByteArrayView file, qsizetype begin)
{
    Line line;
    line.begin = begin;
    qsizetype end = begin;
    while (end < file.size() && !isLineEnd(file[end]))
        ++end;
    line.end = end;
    line.next = end;
    if (end < file.size())
        line.next = end + (file[end] == '\r' && end + 1 < file.size() && file[end + 1] == '\n' ? 2 : 1);

    qsizetype start = begin;
    while (start < end && isBlank(file[start]))
        ++start;
    if (start == end || file[start] == ';')
        return line; // blank or a comment
    if (file[start] == '[') {
        qsizetype close = start + 1;
        while (close < end && file[close] != ']')
            ++close;
        line.kind = Kind::Header;
        line.name = unescapedName(file.sliced(start + 1, close - start - 1).trimmed());
        return line;
    }
    // The first '=' outside quotes separates the key; an unquoted ';' ends
    // the line's content. A backslash hides the byte after it.
    bool quoted = false;
    qsizetype equals = -1;
    qsizetype contentEnd = end;
    for (qsizetype i = start; i < end; ++i) {
        const char c = file[i];
        if (c == '\\')
            ++i;
        else if (c == '"')
            quoted = !quoted;
        else if (!quoted && c == '=' && equals < 0)
            equals = i;
        else if (!quoted && c == ';') {
            contentEnd = i;
            break;
        }
    }
    if (equals < 0)
        return line; // not a key line: someone else's business
    line.kind = Kind::Key;
    line.name = unescapedName(file.sliced(start, equals - start).trimmed());
    line.valueBegin = equals + 1;
    line.valueEnd = contentEnd;
    return line;
}

QList<Line> parse(QByteArrayView file)
{
    QList<Line> lines;
    qsizetype pos = file.startsWith(kByteOrderMark) ? kByteOrderMark.size() : 0;
    while (pos < file.size()) {
        lines.append(parseLine(file, pos));
        pos = lines.constLast().next;
    }
    return lines;
}

void appendCode(QByteArray &out, char16_t code)
{
    if (code < 0x80)
        out += char(code);
    else
        out += QString(QChar(code)).toUtf8();
}

// The value as Qt's INI reader takes it: leading blanks skipped, quotes
// keep blanks and ';', backslash escapes, trailing blanks dropped unless
// quoted, and "@@" standing for a leading '@'.
QByteArray decodedValue(QByteArrayView raw)
{
    static const char namedEscapes[][2] = {{'a', '\a'}, {'b', '\b'},  {'f', '\f'}, {'n', '\n'},
                                           {'r', '\r'}, {'t', '\t'},  {'v', '\v'}, {'"', '"'},
                                           {'?', '?'},  {'\'', '\''}, {'\\', '\\'}};
    QByteArray out;
    bool inQuotes = false;
    bool wasQuoted = false;
    qsizetype keep = 0; // bytes made by escapes are never dropped as trailing blanks
    qsizetype i = 0;
    const auto skipBlanks = [&] {
        while (i < raw.size() && isValueBlank(raw[i]))
            ++i;
    };
    skipBlanks();
    while (i < raw.size()) {
        const char c = raw[i++];
        if (c == '\\') {
            if (i == raw.size())
                break;
            const char e = raw[i++];
            bool named = false;
            for (const auto &escape : namedEscapes) {
                if (e == escape[0]) {
                    out += escape[1];
                    named = true;
                    break;
                }
            }
            if (!named && e == 'x') {
                char16_t code = 0;
                bool any = false;
                while (i < raw.size() && hexDigit(raw[i]) >= 0) {
                    code = char16_t(code * 16 + hexDigit(raw[i++]));
                    any = true;
                }
                if (any)
                    appendCode(out, code);
            } else if (!named && e >= '0' && e <= '7') {
                char16_t code = char16_t(e - '0');
                while (i < raw.size() && raw[i] >= '0' && raw[i] <= '7')
                    code = char16_t(code * 8 + (raw[i++] - '0'));
                appendCode(out, code);
            } // any other escaped byte is dropped
            keep = out.size();
        } else if (c == '"') {
            inQuotes = !inQuotes;
            wasQuoted = true;
            if (!inQuotes) {
                skipBlanks();
                keep = out.size();
            }
        } else {
            out += c;
        }
    }
    if (!wasQuoted) {
        while (out.size() > keep && (out.endsWith(' ') || out.endsWith('\t')))
            out.chop(1);
    }
    if (out.startsWith("@@"))
        out.remove(0, 1);
    return out;
}

// The value written so that decodedValue() gives it back: plain where it
// can be, quoted with escapes where it holds line ends, quotes, backslashes,
// ';', ',' or blanks at either end.
QByteArray encodedValue(QByteArrayView value)
{
    const QByteArray atSign = value.startsWith('@') ? QByteArray("@") : QByteArray();
    bool plain = value.isEmpty() || (value.front() != ' ' && value.back() != ' ');
    for (const char c : value) {
        if (uchar(c) < 0x20 || c == '"' || c == '\\' || c == ';' || c == ',')
            plain = false;
    }
    if (plain)
        return atSign + value.toByteArray();

    QByteArray out = '"' + atSign;
    bool afterOctal = false;
    for (const char c : value) {
        const bool octalDigit = c >= '0' && c <= '7';
        bool octal = false;
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            // An octal escape runs on over digits: a digit after one is escaped too.
            octal = uchar(c) < 0x20 || (afterOctal && octalDigit);
            if (octal)
                out += '\\' + QByteArray::number(uchar(c), 8).rightJustified(3, '0');
            else
                out += c;
        }
        afterOctal = octal;
    }
    return out + '"';
}

// The line end the file uses first; LF for a file that has none.
QByteArray lineEndOf(QByteArrayView file)
{
    for (qsizetype i = 0; i < file.size(); ++i) {
        if (file[i] == '\n')
            return "\n";
        if (file[i] == '\r')
            return i + 1 < file.size() && file[i + 1] == '\n' ? "\r\n" : "\r";
    }
    return "\n";
}

struct Found
{
    qsizetype keyLine = -1;     // the key's line that counts
    qsizetype lastInGroup = -1; // where a new key line goes after
};

Found find(const QList<Line> &lines, QByteArrayView group, QByteArrayView key)
{
    const QString groupName = fromUtf8(group);
    const QString keyName = fromUtf8(key);
    Found found;
    bool inGroup = groupName.isEmpty(); // lines before the first header belong to the nameless group
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const Line &line = lines[i];
        if (line.kind == Kind::Header) {
            inGroup = line.name == groupName;
            if (inGroup)
                found.lastInGroup = i;
        } else if (line.kind == Kind::Key && inGroup) {
            found.lastInGroup = i;
            if (line.name == keyName)
                found.keyLine = i;
        }
    }
    return found;
}

} // namespace

namespace IniFile {

std::optional<QByteArray> value(QByteArrayView file, QByteArrayView group, QByteArrayView key)
{
    const QList<Line> lines = parse(file);
    const Found found = find(lines, group, key);
    if (found.keyLine < 0)
        return std::nullopt;
    const Line &line = lines[found.keyLine];
    return decodedValue(file.sliced(line.valueBegin, line.valueEnd - line.valueBegin));
}

QByteArray withValue(QByteArrayView file, QByteArrayView group, QByteArrayView key, QByteArrayView value)
{
    const QList<Line> lines = parse(file);
    const Found found = find(lines, group, key);
    const QByteArray encoded = encodedValue(value);

    if (found.keyLine >= 0) {
        // Only the value changes; the key as written, the blanks around the
        // value and a comment after it stay.
        const Line &line = lines[found.keyLine];
        qsizetype from = line.valueBegin;
        qsizetype to = line.valueEnd;
        while (from < to && isValueBlank(file[from]))
            ++from;
        while (to > from && isValueBlank(file[to - 1]))
            --to;
        if (from == to)
            from = to = line.valueEnd;
        return file.first(from).toByteArray() + encoded + file.sliced(to).toByteArray();
    }

    const QByteArray keyLine = escapedName(key) + '=' + encoded;
    if (found.lastInGroup >= 0) {
        const Line &after = lines[found.lastInGroup];
        if (after.next > after.end) // it has a line end: ours takes the same one
            return file.first(after.next).toByteArray() + keyLine
                + file.sliced(after.end, after.next - after.end).toByteArray()
                + file.sliced(after.next).toByteArray();
        return file.toByteArray() + lineEndOf(file) + keyLine; // the file's last line
    }

    const QByteArray lineEnd = lineEndOf(file);
    QByteArray out = file.toByteArray();
    if (!lines.isEmpty()) {
        if (!isLineEnd(file.back()))
            out += lineEnd;
        const Line &last = lines.constLast();
        bool lastIsBlank = true;
        for (qsizetype i = last.begin; i < last.end; ++i)
            lastIsBlank = lastIsBlank && isBlank(file[i]);
        // A blank line before the new group, as between groups. After a file
        // that ends in a lone CR it ends with a CR too: an LF there would
        // join that CR into one CR LF and the blank line would be lost.
        if (!lastIsBlank)
            out += file.back() == '\r' ? QByteArray("\r") : lineEnd;
    }
    return out + '[' + escapedName(group) + ']' + lineEnd + keyLine + lineEnd;
}

} // namespace IniFile
