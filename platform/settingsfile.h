#pragma once

#include <QByteArray>
#include <QString>

// The settings file on disk. It may be shared with other programs and may
// be a symbolic link; whatever stands in its place, reading never blocks
// and writing never replaces anything but a regular file.
namespace SettingsFile {

struct ReadResult
{
    QByteArray bytes; // empty for a missing file
    QString problem;  // why the file cannot be read, in words; empty when it can
};

// The file's bytes; a missing file reads as empty. Only a regular file is
// opened, so a FIFO or a device in its place cannot hold the caller.
ReadResult read(const QString &path);

// Makes `bytes` the file's content: written to a new file beside the file
// (beside a link's target), synced, given the old file's permissions and
// renamed over it, so that the old content stays whole until the new one is.
// Answers why it could not, or empty once the new content is in place.
QString replace(const QString &path, const QByteArray &bytes);

} // namespace SettingsFile
