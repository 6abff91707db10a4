#include "platform/platform.h"

#include <QFileInfo>
#include <QStringDecoder>

Platform::~Platform() = default;

DeferredText::~DeferredText() = default;

QString DeferredText::textOfUtf8(const QByteArray &utf8)
{
    return QStringDecoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom).decode(utf8);
}

bool FileExists(const QString &fileName)
{
    if (fileName.isEmpty())
        return false;
    const QFileInfo info(fileName);
    return info.exists() && info.lastModified().isValid();
}
