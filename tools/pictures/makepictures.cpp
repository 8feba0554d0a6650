// Writes the drawings behind the files of Bilder/ as PNG files into the given folder:
// pic2x.png, pic5x.png, pic6x.png and the busy animation's frames busy-00.png ...
#include <QDir>
#include <QGuiApplication>
#include <cstdio>

#include "widgets/pictures.h"

using namespace corvana::widgets::pictures;

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <folder> <frames>\n", argv[0]);
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    const int frames = std::atoi(argv[2]);
    bool ok = ConnectFilePicture().save(out.filePath("pic2x.png")) &&
              NoteNumberFilePicture().save(out.filePath("pic5x.png")) &&
              FailureFilePicture().save(out.filePath("pic6x.png"));
    for (int i = 0; ok && i < frames; ++i)
        ok = BusyFrame(i, frames).save(out.filePath(QString::asprintf("busy-%02d.png", i)));
    if (!ok) {
        std::fprintf(stderr, "cannot write into %s\n", argv[1]);
        return 1;
    }
    return 0;
}
