#pragma once

#include <QString>

// Where the error report says a failure happened: the project, module and
// procedure of each command, each followed by one space ("… at line 104").
namespace Procedure {

inline const QString Form_Load = QStringLiteral("in Quillory2021/08/31.Form1.Form_Load ");
inline const QString PushButton1_Click = QStringLiteral("in Quillory2021/08/31.Form1.PushButton1_Click ");
inline const QString PushButton2_Click = QStringLiteral("in Quillory2021/08/31.Form1.PushButton2_Click ");
inline const QString PushButton3_Click = QStringLiteral("in Quillory2021/08/31.Form1.PushButton3_Click ");
inline const QString PushButton4_Click = QStringLiteral("in Quillory2021/08/31.Form1.PushButton4_Click ");
inline const QString PushButton5_Click = QStringLiteral("in Quillory2021/08/31.Form1.PushButton5_Click ");
inline const QString PushButton6_Click = QStringLiteral("in Quillory2021/08/31.Form1.PushButton6_Click ");
inline const QString PushButton7_Click = QStringLiteral("in Quillory2021/08/31.Form1.PushButton7_Click ");
inline const QString PushButton8_Click = QStringLiteral("in Quillory2021/08/31.Form1.PushButton8_Click ");
inline const QString PushButton9_Click = QStringLiteral("in Quillory2021/08/31.Form1.PushButton9_Click ");
inline const QString PushButton10_Click = QStringLiteral("in Quillory2021/08/31.Form1.PushButton10_Click ");
inline const QString PushButton11_Click = QStringLiteral("in Quillory2021/08/31.Form1.PushButton11_Click ");
inline const QString PushButton12_Click = QStringLiteral("in Quillory2021/08/31.Form1.PushButton12_Click ");
inline const QString PushButton13_Click = QStringLiteral("in Quillory2021/08/31.Form1.PushButton13_Click ");
inline const QString PushButton17_Click = QStringLiteral("in Quillory2021/08/31.Form1.PushButton17_Click ");
inline const QString ListView1_Paste = QStringLiteral("in Quillory2021/08/31.Form1.ListView1_Paste ");
inline const QString ListView1_Copy = QStringLiteral("in Quillory2021/08/31.Form1.ListView1_Copy ");
inline const QString ListView2_Copy = QStringLiteral("in Quillory2021/08/31.Form1.ListView2_Copy ");
inline const QString ListView3_Copy = QStringLiteral("in Quillory2021/08/31.Form1.ListView3_Copy ");
inline const QString SaveListviewProperlySpacedWithoutProgressBar =
    QStringLiteral("in Quillory2021/08/31.Main.SaveListviewProperlySpacedWithoutProgressBar ");

} // namespace Procedure
