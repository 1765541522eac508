#include "image/png_file.h"

#include "frames/atomic_file.h"

#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

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

namespace {

// The whole content of a file, or the system's reason it can not be read.
std::optional<QByteArray> ReadWholeFile(const std::string &path, std::string &reason)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        reason = std::strerror(errno);
        return std::nullopt;
    }
    QByteArray bytes;
    char chunk[65536];
    for (;;) {
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            reason = std::strerror(errno);
            ::close(fd);
            return std::nullopt;
        }
        if (got == 0)
            break;
        bytes.append(chunk, static_cast<qsizetype>(got));
    }
    ::close(fd);
    return bytes;
}

// Catches what libpng (and Qt's PNG handler through it) writes on standard
// error while it lives ("libpng error: Read Error"), so that the reader's
// complaint joins the console's own message instead of a stray line.
class StandardErrorCatch {
public:
    StandardErrorCatch() : m_file(std::tmpfile())
    {
        std::fflush(stderr);
        if (m_file)
            m_saved = ::dup(STDERR_FILENO);
        if (m_saved >= 0 && ::dup2(::fileno(m_file), STDERR_FILENO) < 0) {
            ::close(m_saved);
            m_saved = -1;
        }
    }
    ~StandardErrorCatch()
    {
        release();
        if (m_file)
            std::fclose(m_file);
    }
    StandardErrorCatch(const StandardErrorCatch &) = delete;
    StandardErrorCatch &operator=(const StandardErrorCatch &) = delete;

    // Restores standard error and returns what was written meanwhile, the
    // "libpng error: " and "libpng warning: " prefixes taken off, lines
    // joined by "; ".
    std::string release()
    {
        if (m_saved < 0)
            return {};
        std::fflush(stderr);
        ::dup2(m_saved, STDERR_FILENO);
        ::close(m_saved);
        m_saved = -1;
        std::string caught;
        std::rewind(m_file);
        char line[512];
        while (std::fgets(line, sizeof line, m_file)) {
            std::string text(line);
            while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
                text.pop_back();
            for (const char *prefix : { "libpng error: ", "libpng warning: " })
                if (text.starts_with(prefix))
                    text.erase(0, std::strlen(prefix));
            if (text.empty())
                continue;
            caught += (caught.empty() ? "" : "; ") + text;
        }
        return caught;
    }

private:
    std::FILE *m_file;
    int m_saved = -1;
};

} // namespace

std::optional<SavedFrame> ReadSavedFrame(const std::string &path, std::string *error)
{
    const auto fail = [error](const std::string &reason) -> std::optional<SavedFrame> {
        if (error)
            *error = reason;
        return std::nullopt;
    };
    std::string reason;
    std::optional<QByteArray> bytes = ReadWholeFile(path, reason);
    if (!bytes)
        return fail(reason);
    QBuffer buffer(&*bytes);
    buffer.open(QIODevice::ReadOnly);
    if (QImageReader::imageFormat(&buffer) != "png")
        return fail("not a PNG file");
    QImageReader reader(&buffer, "png");
    StandardErrorCatch libpng;
    const QImage read = reader.read();
    const std::string complaint = libpng.release();
    if (read.isNull())
        return fail(reader.errorString().toStdString() + (complaint.empty() ? "" : " (libpng: " + complaint + ")"));
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
