#pragma once

#include "platform/platform.h"

class QWidget;

// The open and save dialogs of the real desktop.
namespace FileDialogs {

// Answers "" on cancel, the full path of one chosen file, or the folder and
// the names separated by NUL characters (see Platform::ShowOpen).
QString showOpen(QWidget *parent, const FileDialogSettings &settings);

// Answers the chosen full path, or "" on cancel.
QString showSave(QWidget *parent, const FileDialogSettings &settings);

// "Text Files (*.txt)|*.txt|All Files (*.*)|*.*|" -> {"Text Files (*.txt) (*.txt)",
//  "All Files (*.*) (*)"}: the description as written, then the patterns Qt matches.
QStringList nameFilters(const QString &dialogFilter);

// The open dialog's answer for the chosen files: "", one full path, or
// the folder and the names separated by NUL characters.
QString openAnswer(const QStringList &files);

} // namespace FileDialogs
