#include "platform/failure.h"

#include <new>

Failure::Failure(const QString &description)
    : std::runtime_error(description.toStdString()), m_description(description)
{
}

QString CurrentFailureDescription()
{
    try {
        throw;
    } catch (const Failure &failure) {
        return failure.description();
    } catch (const std::bad_alloc &) {
        return QStringLiteral("Out of memory");
    } catch (const std::exception &e) {
        return QString::fromLocal8Bit(e.what());
    } catch (...) {
        return QStringLiteral("Unexpected error");
    }
}
