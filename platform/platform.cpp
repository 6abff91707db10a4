#include "platform/platform.h"

#include <QStringDecoder>

Platform::~Platform() = default;

DeferredText::~DeferredText() = default;

QString DeferredText::textOfUtf8(const QByteArray &utf8)
{
    return QStringDecoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom).decode(utf8);
}
