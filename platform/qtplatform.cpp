#include "platform/qtplatform.h"

// Not built yet.
void QtPlatform::MsgBox(const QString &, int, const QString &) {}
QString QtPlatform::InputBox(const QString &, const QString &) { return {}; }
QString QtPlatform::ShowOpen(const FileDialogSettings &) { return {}; }
QString QtPlatform::ShowSave(const FileDialogSettings &) { return {}; }
bool QtPlatform::ClipboardClear() { return false; }
bool QtPlatform::ClipboardSetText(const QString &, int) { return false; }
QString QtPlatform::GetSetting(const QString &, const QString &, const QString &, const QString &d) { return d; }
void QtPlatform::SaveSetting(const QString &, const QString &, const QString &, const QString &) {}
void QtPlatform::Shell(const QString &, const QStringList &) {}
QString QtPlatform::ProgramFolder() { return {}; }
double QtPlatform::SecondsSinceMidnight() { return 0; }
void QtPlatform::ProcessEvents() {}
QString QtPlatform::SpreadsheetFolder() { return {}; }
SpreadsheetProgram QtPlatform::FindSpreadsheetProgram() { return {}; }
