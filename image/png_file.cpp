#include "image/png_file.h"

#include "frames/atomic_file.h"

#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>

bool WritePngAtomically(const QImage &image, const QString &path, QString *error)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    if (!writer.write(image)) {
        if (error)
            *error = writer.errorString();
        return false;
    }
    std::string reason;
    if (WriteFileAtomically(QFile::encodeName(path).toStdString(), std::string_view(bytes.constData(), bytes.size()),
                            &reason))
        return true;
    if (error)
        *error = QString::fromStdString(reason);
    return false;
}

std::optional<SavedFrame> ReadSavedFrame(const std::string &path, std::string *error)
{
    const auto fail = [error](const std::string &reason) -> std::optional<SavedFrame> {
        if (error)
            *error = reason;
        return std::nullopt;
    };
    const QString file = QFile::decodeName(path.c_str());
    if (!QFile::exists(file))
        return fail("no such file");
    if (QImageReader::imageFormat(file) != "png")
        return fail("not a PNG file");
    QImageReader reader(file, "png");
    const QImage read = reader.read();
    if (read.isNull())
        return fail(reader.errorString().toStdString());
    const QImage image = read.convertToFormat(QImage::Format_ARGB32);
    SavedFrame frame;
    frame.width = image.width();
    frame.height = image.height();
    for (int y = 0; y < image.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int alpha = qAlpha(line[x]);
            if (alpha == 0)
                continue;
            if (alpha != 255)
                return fail("not a saved frame: it has partly transparent pixels");
            frame.pixels.paint(x, y, MakeColor(qRed(line[x]), qGreen(line[x]), qBlue(line[x])));
        }
    }
    return frame;
}
