#pragma once

#include "platform/failure.h"

#include <QString>

#include <new>
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
//     Guarded proc(platform, Procedure::PushButton2_Click);
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

    // A per-entry loop: runs entry(i) for i = first..last inside one try
    // block, so that a guard per statement costs nothing per entry. `entry`
    // keeps `step` at the statement it is running. When an entry fails, the
    // failure is reported at that step and resume(i) finishes the entry from
    // the next statement; it returns the entry to go on with, or one past
    // `last` to leave the loop. Once memory runs out every later entry would
    // fail the same way, so that is reported once and ends the loop.
    template<typename Entry, typename Resume>
    void forEachEntry(qsizetype first, qsizetype last, const int &step, Entry &&entry, Resume &&resume)
    {
        qsizetype i = first;
        while (i <= last) {
            try {
                for (; i <= last; ++i)
                    entry(i);
                return;
            } catch (const CommandAborted &) {
                throw;
            } catch (const std::bad_alloc &) {
                report(step);
                return;
            } catch (...) {
                report(step);
            }
            i = resume(i);
        }
    }

    // Reports a failure that was found rather than thrown.
    void report(int step, const QString &description);

    const QString &procedureText() const { return m_procedureText; }

private:
    // Reports the failure being handled.
    void report(int step);

    Platform &m_platform;
    QString m_procedureText;
};
