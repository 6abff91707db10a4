#include "app/form1.h"
#include "platform/procedures.h"

void Form1::PushButton5_Click()
{
    Guarded proc(m_platform, Procedure::PushButton5_Click);
    proc(100, [&] {
        const QString crlf = QStringLiteral("\r\n");
        m_platform.MsgBox(
            QStringLiteral("Each numbers should be on its own line, such as:") + crlf + crlf
                + QStringLiteral("888-934-8932") + crlf + QStringLiteral("6035348892") + crlf + crlf
                + QStringLiteral("This tool only validates the length and format of phone numbers, "
                                 "it does not determine if the phone number connects correctly with "
                                 "the desired party when dialed (for example). This tools is usually "
                                 "used to filter mistyped phone numbers."),
            MsgBoxStyle::OkOnly, QString());
    });
}
