#pragma once
// The pictures of the wizard and the device info window, drawn by us. The built-in ones are
// painted when the window is created; the same drawing code makes the files of "Bilder"
// (tools/pictures), so the two kinds look alike.

#include <QImage>

namespace corvana::widgets::pictures {

inline constexpr int kPictureSize = 450;

// Built into the window.
QImage StartPicture();     // back of the remote, battery compartment crossed out; cable unplugged
QImage ConnectedPicture(); // remote on the PC's USB port, green tick
QImage TransferPicture();  // data arrows along the cable, green tick
QImage BatteryCoverPicture(); // opened battery cover, a pen writing on its inside
QImage ArrowRight();          // 56 x 52, blue
QImage ArrowLeft();           // 56 x 52, blue
QImage CloseCross();          // 50 x 46, red square with a white cross

// Contents of the picture files.
QImage ConnectFilePicture();            // Bilder/pic2x.jpg: plug the cable in
QImage NoteNumberFilePicture();         // Bilder/pic5x.jpg: number on cover and packaging
QImage FailureFilePicture();            // Bilder/pic6x.jpg: no or wrong remote answering
QImage BusyFrame(int frame, int count); // one frame of Bilder/Corvana.gif

} // namespace corvana::widgets::pictures
