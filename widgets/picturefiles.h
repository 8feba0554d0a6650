#pragma once
// The wizard's picture files in "Bilder" beside the executable: JPEG stills decoded with
// libjpeg, the animated busy picture through QMovie. A file that cannot be read stops the
// step that loads it with an EInOutError naming the file.

#include <QImage>
#include <QString>
#include <memory>

class QMovie;

namespace corvana::widgets {

// The folder "Bilder" in the folder of the running executable.
QString PictureFolder();

// Decodes a baseline or progressive JPEG file into an RGB image.
QImage LoadJpegFile(const QString& path);

// Opens an animated GIF for looping display; the movie is not started yet.
std::unique_ptr<QMovie> LoadGifMovie(const QString& path);

// The text of the file error for `path` and the platform error number `err`.
std::string FileOpenErrorText(const QString& path, int err);

} // namespace corvana::widgets
