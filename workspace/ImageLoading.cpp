#include "workspace/ImageLoading.h"

#include "engine/Errors.h"
#include "formats/PictureFile.h"

#include <QFile>
#include <QStringList>
#include <filesystem>

namespace vistamaze {

QString PictureDialogFilter() {
    QStringList all;
    QStringList entries;
    for (const PictureFormat& format : ReadablePictureFormats()) {
        QStringList patterns;
        for (const std::string& extension : format.extensions) {
            patterns << QStringLiteral("*.") + QString::fromStdString(extension);
        }
        const QString joined = patterns.join(QLatin1Char(';'));
        entries << QString::fromStdString(format.description) + QStringLiteral(" (") + joined +
                       QLatin1Char(')')
                << joined;
        all << patterns;
    }
    const QString allJoined = all.join(QLatin1Char(';'));
    entries.prepend(allJoined);
    entries.prepend(QStringLiteral("All (") + allJoined + QLatin1Char(')'));
    return entries.join(QLatin1Char('|'));
}

QString LoadImage(Picture& target, const QString& fileName) {
    Picture loaded;
    try {
        loaded = ReadPictureFile(std::filesystem::path(QFile::encodeName(fileName).toStdString()));
    } catch (const InvalidPictureError& error) {
        return QString::fromUtf8(error.what());
    }
    if (!loaded.HasImage()) {
        return QStringLiteral("The file holds no picture");
    }
    if (loaded.Bitmap().BitsPerPixel() != 24) {
        loaded.Assign(loaded.To24Bit());
    }
    target = std::move(loaded);
    return {};
}

}  // namespace vistamaze
