#pragma once

#include <QString>

#include <stdexcept>

// A failing statement, with the description the user sees in the error report.
class Failure : public std::runtime_error
{
public:
    explicit Failure(const QString &description);
    QString description() const { return m_description; }

private:
    QString m_description;
};

// Thrown out of a yield when the window is closing: it unwinds the running
// command (no guarded step catches it) so that nothing half-done is kept.
struct CommandAborted
{
};

// The description of the exception being handled (inside a catch block).
QString CurrentFailureDescription();
