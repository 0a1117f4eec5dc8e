#include "platform/mimetypes.h"

#include <QMimeDatabase>
#include <QMimeType>
#include <QString>

namespace platform {

static const char* const defaultMimeType = "application/octet-stream";

std::string mimeTypeForExtension(const std::string& extension)
{
    if (extension.empty())
        return defaultMimeType;
    const QMimeDatabase database;
    const QMimeType type = database.mimeTypeForFile(
        QStringLiteral("x.") + QString::fromUtf8(extension.data(), qsizetype(extension.size())),
        QMimeDatabase::MatchExtension);
    // An unknown name comes back as the database's default type; spell it out ourselves so it is always exact.
    if (!type.isValid() || type.isDefault())
        return defaultMimeType;
    return type.name().toStdString();
}

} // namespace platform
