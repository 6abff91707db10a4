#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <optional>

// A line editor for one key of one group of an INI file that other programs
// may share. It works on the file's bytes alone: whatever it does not own
// (comments, other groups, line ends, a byte-order mark, bytes that are not
// text) it hands back as it found them.
//
// Group and key names are UTF-8 and compared with the file's names after
// their %XX / %UXXXX escapes are undone, case-sensitively. A key's line is
// `name=value`, with spaces allowed around both; a value may be quoted and
// may hold backslash escapes, and an unquoted ';' starts a comment. A line
// that is none of group header, key line or ';' comment is ignored. A group
// may appear several times; the last line of a key counts.
namespace IniFile {

// The decoded value of `key` in `group`; nullopt when the key or the group is absent.
std::optional<QByteArray> value(QByteArrayView file, QByteArrayView group, QByteArrayView key);

// `file` with `key` in `group` set to `value`. Only the value on the key's
// line that counts is replaced; a missing key gets a line at the end of the
// group's last appearance, a missing group is added at the end of the file,
// with the line ends the file already uses. Every other byte stays as it was.
QByteArray withValue(QByteArrayView file, QByteArrayView group, QByteArrayView key, QByteArrayView value);

} // namespace IniFile
