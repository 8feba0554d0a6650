// The picture files of Bilder/ and our JPEG decoder.
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QMovie>
#include <gtest/gtest.h>

#include "tests/support/scratchdir.h"
#include "util/errors.h"
#include "widgets/picturefiles.h"
#include "widgets/pictures.h"

using namespace corvana;

namespace {

const QString kBilder = CORVANA_BUILD_BIN "/Bilder/";

// The largest difference of any colour channel between two images of equal size.
int maxChannelDiff(const QImage& a, const QImage& b) {
    const QImage x = a.convertToFormat(QImage::Format_RGB888);
    const QImage y = b.convertToFormat(QImage::Format_RGB888);
    int worst = 0;
    for (int row = 0; row < x.height(); ++row) {
        const uchar* p = x.constScanLine(row);
        const uchar* q = y.constScanLine(row);
        for (int i = 0; i < x.width() * 3; ++i)
            worst = std::max(worst, std::abs(int(p[i]) - int(q[i])));
    }
    return worst;
}

} // namespace

// Qt's own JPEG reader sits on the same library: our decoding must give the same pixels.
TEST(PictureFiles, JpegFilesDecodeAsQtReadsThem) {
    for (const char* name : {"pic2x.jpg", "pic5x.jpg", "pic6x.jpg"}) {
        const QImage ours = widgets::LoadJpegFile(kBilder + name);
        ASSERT_EQ(ours.size(), QSize(450, 450)) << name;
        QImage theirs(kBilder + name);
        ASSERT_FALSE(theirs.isNull()) << name;
        EXPECT_LE(maxChannelDiff(ours, theirs), 1) << name;
    }
}

TEST(PictureFiles, GreyAndProgressiveJpegs) {
    test::TempDir dir;
    QImage colour = widgets::pictures::FailureFilePicture();
    struct Row {
        const char* file;
        QImage image;
        bool progressive;
    } rows[] = {
        {"grey.jpg", colour.convertToFormat(QImage::Format_Grayscale8), false},
        {"progressive.jpg", colour, true},
        {"odd.jpg", colour.copy(0, 0, 37, 451), false},
    };
    for (const auto& r : rows) {
        QImageWriter w(QString::fromStdString(dir.file(r.file)), "jpg");
        w.setProgressiveScanWrite(r.progressive);
        w.setQuality(90);
        ASSERT_TRUE(w.write(r.image)) << r.file;
        const QImage ours = widgets::LoadJpegFile(QString::fromStdString(dir.file(r.file)));
        const QImage theirs(QString::fromStdString(dir.file(r.file)));
        ASSERT_EQ(ours.size(), r.image.size()) << r.file;
        EXPECT_LE(maxChannelDiff(ours, theirs), 1) << r.file;
    }
}

TEST(PictureFiles, MissingAndDamagedFilesNameTheFile) {
    test::TempDir dir;
    const std::string missing = dir.file("none.jpg");
    try {
        widgets::LoadJpegFile(QString::fromStdString(missing));
        FAIL();
    } catch (const EInOutError& e) {
        EXPECT_EQ(std::string(e.what()), "Datei \"" + missing +
                                             "\" kann nicht geöffnet werden. Das System kann "
                                             "die angegebene Datei nicht finden.");
    }
    // a file cut off in its header cannot be decoded at all
    QFile whole(kBilder + "pic2x.jpg");
    ASSERT_TRUE(whole.open(QIODevice::ReadOnly));
    dir.write("cut.jpg", whole.read(40).toStdString());
    EXPECT_THROW(widgets::LoadJpegFile(QString::fromStdString(dir.file("cut.jpg"))), EInOutError);
    EXPECT_THROW(widgets::LoadGifMovie(QString::fromStdString(dir.file("none.gif"))), EInOutError);
}

TEST(PictureFiles, BusyPictureIsAnAnimationThatLoops) {
    auto movie = widgets::LoadGifMovie(kBilder + "Corvana.gif");
    EXPECT_GT(movie->frameCount(), 1);
    EXPECT_EQ(movie->loopCount(), -1); // for ever
    ASSERT_TRUE(movie->jumpToFrame(0));
    EXPECT_EQ(movie->currentImage().size(), QSize(450, 450));
    const QImage first = movie->currentImage();
    ASSERT_TRUE(movie->jumpToFrame(movie->frameCount() / 2));
    EXPECT_NE(first, movie->currentImage());
}

TEST(BuiltInPictures, SizesAndSomethingDrawn) {
    using namespace widgets::pictures;
    struct Row {
        QImage image;
        QSize size;
    } rows[] = {
        {StartPicture(), {450, 450}},    {ConnectedPicture(), {450, 450}},
        {TransferPicture(), {450, 450}}, {BatteryCoverPicture(), {450, 450}},
        {ArrowRight(), {56, 52}},        {ArrowLeft(), {56, 52}},
        {CloseCross(), {50, 46}},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(r.image.size(), r.size);
        // more than one colour: the drawing is not empty
        const QRgb corner = r.image.pixel(r.size.width() / 2, r.size.height() / 2);
        bool varied = false;
        for (int y = 0; y < r.size.height() && !varied; y += 3)
            for (int x = 0; x < r.size.width() && !varied; x += 3)
                varied = r.image.pixel(x, y) != corner;
        EXPECT_TRUE(varied);
    }
    // the left arrow points the other way
    EXPECT_EQ(ArrowLeft(), ArrowRight().mirrored(true, false));
}
