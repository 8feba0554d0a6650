#include "widgets/picturefiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QMovie>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <jpeglib.h>
#include <unistd.h>

#include "platform/sysio.h"
#include "util/errors.h"

namespace corvana::widgets {
namespace {

// libjpeg reports fatal errors through error_exit, which must not return. We jump back
// into decodeJpeg, whose frame holds only trivially destructible locals, so no C++ object
// is skipped by the jump.
struct JpegError {
    jpeg_error_mgr mgr;
    jmp_buf back;
    char text[JMSG_LENGTH_MAX];
};

void jpegErrorExit(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<JpegError*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->text);
    longjmp(err->back, 1);
}

void jpegOutputMessage(j_common_ptr) {} // warnings of damaged but readable files stay quiet

// Where the decoded lines go: the caller allocates once the size is known.
struct JpegSink {
    void* owner;
    unsigned char* (*begin)(void* owner, unsigned width, unsigned height);
    unsigned char* (*line)(void* owner, unsigned y);
};

// Returns false with the library's message in err->text.
bool decodeJpeg(FILE* file, JpegSink* sink, JpegError* err) {
    jpeg_decompress_struct cinfo;
    std::memset(&cinfo, 0, sizeof cinfo);
    cinfo.err = jpeg_std_error(&err->mgr);
    err->mgr.error_exit = jpegErrorExit;
    err->mgr.output_message = jpegOutputMessage;
    err->text[0] = '\0';
    if (setjmp(err->back)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_stdio_src(&cinfo, file);
    jpeg_read_header(&cinfo, TRUE);
    if (cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK) {
        std::snprintf(err->text, sizeof err->text, "CMYK-Bilder werden nicht unterstuetzt");
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);
    if (!sink->begin(sink->owner, cinfo.output_width, cinfo.output_height)) {
        std::snprintf(err->text, sizeof err->text, "Bild zu gross");
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = sink->line(sink->owner, cinfo.output_scanline);
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

unsigned char* sinkBegin(void* owner, unsigned width, unsigned height) {
    // The pictures are 450 x 450; anything far beyond that is not one of ours.
    if (width == 0 || height == 0 || width > 8192 || height > 8192)
        return nullptr;
    auto* image = static_cast<QImage*>(owner);
    *image = QImage(static_cast<int>(width), static_cast<int>(height), QImage::Format_RGB888);
    return image->isNull() ? nullptr : image->bits();
}

unsigned char* sinkLine(void* owner, unsigned y) {
    return static_cast<QImage*>(owner)->scanLine(static_cast<int>(y));
}

// Opens `path` for reading or raises the file error naming it.
int openForReading(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    const int fd = platform::open(name.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw EInOutError(FileOpenErrorText(path, errno), errno);
    return fd;
}

} // namespace

QString PictureFolder() {
    return QCoreApplication::applicationDirPath() + "/Bilder";
}

std::string FileOpenErrorText(const QString& path, int err) {
    return "Datei \"" + QDir::toNativeSeparators(path).toStdString() +
           "\" kann nicht geöffnet werden. " + platform::errorText(err);
}

QImage LoadJpegFile(const QString& path) {
    const int fd = openForReading(path);
    FILE* file = fdopen(fd, "rb");
    if (!file) {
        const int err = errno;
        platform::close(fd);
        throw EInOutError(FileOpenErrorText(path, err), err);
    }
    QImage image;
    JpegSink sink{&image, sinkBegin, sinkLine};
    JpegError err;
    const bool ok = decodeJpeg(file, &sink, &err);
    std::fclose(file);
    if (!ok)
        throw EInOutError("JPEG-Fehler in Datei \"" + QDir::toNativeSeparators(path).toStdString() +
                              "\": " + err.text,
                          EIO);
    return image;
}

std::unique_ptr<QMovie> LoadGifMovie(const QString& path) {
    platform::close(openForReading(path)); // the error of a missing or unreadable file names it
    auto movie = std::make_unique<QMovie>(path, QByteArray("gif"));
    movie->setCacheMode(QMovie::CacheAll);
    // The header alone makes a movie "valid"; its first frame shows whether it can be drawn.
    if (!movie->isValid() || !movie->jumpToFrame(0) || movie->currentImage().isNull())
        throw EInOutError("Datei \"" + QDir::toNativeSeparators(path).toStdString() +
                              "\" ist kein gültiges GIF-Bild",
                          EIO);
    return movie;
}

} // namespace corvana::widgets
