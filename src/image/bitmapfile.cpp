#include "image/bitmapfile.h"

#include "image/cdib.h"
#include "image/cdibsection.h"

#include <QImageReader>

namespace lv {

bool SavePictureAsBitmap(const QImage& picture, const QString& fileName, QString* error)
{
    cDIBSection section;
    if (!section.CreateFromPicture(picture)) {
        if (error)
            *error = QStringLiteral("no picture to save");
        return false;
    }
    const BitmapInfoHeader& info = section.InfoHeader();
    QByteArray packed(kInfoHeaderSize, '\0');
    writeInfoHeader(info, reinterpret_cast<unsigned char*>(packed.data()));
    packed.append(reinterpret_cast<const char*>(section.DIBSectionBitsPtr()), qsizetype(info.biSizeImage));
    cDib dib;
    if (!dib.CreateFromPackedDIBPointer(packed.constData(), std::size_t(packed.size()))) {
        if (error)
            *error = QStringLiteral("no picture to save");
        return false;
    }
    return dib.WriteToFile(fileName, error);
}

QImage LoadPicture(const QString& fileName)
{
    QImageReader reader(fileName);
    reader.setDecideFormatFromContent(true);
    QImage image = reader.read();
    if (image.isNull())
        return {};
    return image.convertToFormat(QImage::Format_RGB32);
}

} // namespace lv
