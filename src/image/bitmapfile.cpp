#include "image/bitmapfile.h"

#include "image/cdib.h"
#include "image/cdibsection.h"

#include <QFileInfo>
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

PictureLoad LoadPictureChecked(const QString& fileName)
{
    PictureLoad out;
    const QString ending = QFileInfo(fileName).suffix().toLower();
    QByteArray format;
    if (ending == QLatin1String("bmp"))
        format = "bmp";
    else if (ending == QLatin1String("jpg") || ending == QLatin1String("jpeg"))
        format = "jpeg";
    else {
        out.error = QStringLiteral("not a bitmap or JPEG file name");
        return out;
    }
    QImageReader reader(fileName, format);
    reader.setDecideFormatFromContent(false);
    const QSize size = reader.size();
    if (!size.isValid()) {
        out.error = reader.errorString();
        return out;
    }
    if (qint64(size.width()) * size.height() > kMaxPicturePixels) {
        out.tooLarge = true;
        out.error = QStringLiteral("The picture is too large to open: %1 x %2 pixels (at most %3 million).")
                        .arg(size.width())
                        .arg(size.height())
                        .arg(kMaxPicturePixels / 1'000'000);
        return out;
    }
    const QImage image = reader.read();
    if (image.isNull()) {
        out.error = reader.errorString();
        return out;
    }
    out.image = image.convertToFormat(QImage::Format_RGB32);
    return out;
}

QImage LoadPicture(const QString& fileName)
{
    return LoadPictureChecked(fileName).image;
}

} // namespace lv
