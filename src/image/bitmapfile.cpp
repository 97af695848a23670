#include "image/bitmapfile.h"

#include "image/cdib.h"
#include "image/cdibsection.h"

#include <QImageReader>

namespace lv {

bool SavePictureAsBitmap(const QImage& picture, const QString& fileName)
{
    cDIBSection section;
    if (!section.CreateFromPicture(picture))
        return false;
    const BitmapInfoHeader& info = section.InfoHeader();
    QByteArray packed(kInfoHeaderSize, '\0');
    writeInfoHeader(info, reinterpret_cast<unsigned char*>(packed.data()));
    packed.append(reinterpret_cast<const char*>(section.DIBSectionBitsPtr()), qsizetype(info.biSizeImage));
    cDib dib;
    return dib.CreateFromPackedDIBPointer(packed.constData(), std::size_t(packed.size())) && dib.WriteToFile(fileName);
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
