#pragma once

#include "platform/failure.h"

#include <QString>

#include <utility>

class Platform;

// Shows the common error report: description, CR LF, procedure text,
// "at line ", step, two CRs, and the request for a screenshot.
void ErrorReport(Platform &platform, const QString &description, const QString &procedureText, int step);

// The message text of the error report, as ErrorReport shows it.
QString ErrorReportText(const QString &description, const QString &procedureText, int step);

// A guarded procedure: runs numbered statements; a statement that throws is
// reported with its number and the procedure resumes with the next statement.
//
//     Guarded proc(platform, "in Quillory2021/08/31.Form1.PushButton2_Click ");
//     proc(100, [&] { ListView2->ListItems.Clear(); });
class Guarded
{
public:
    Guarded(Platform &platform, QString procedureText)
        : m_platform(platform), m_procedureText(std::move(procedureText))
    {
    }

    // Runs one statement; returns false when it failed (and was reported).
    template<typename Statement>
    bool operator()(int step, Statement &&statement)
    {
        try {
            std::forward<Statement>(statement)();
            return true;
        } catch (const CommandAborted &) {
            throw;
        } catch (...) {
            report(step);
            return false;
        }
    }

    const QString &procedureText() const { return m_procedureText; }

private:
    void report(int step);

    Platform &m_platform;
    QString m_procedureText;
};
