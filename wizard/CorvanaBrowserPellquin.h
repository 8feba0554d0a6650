#pragma once
// The programming wizard "Corvana Pellquin": four pages that lead the user from the order
// in the portal to a programmed remote control. Its download arrow runs the file-name step,
// the code-file download with the loader, and the programming run over the serial link.
//
// The window is created once and shown modally for each order; its controls keep their
// state from one showing to the next except where FormShow resets them. The working state
// (order fields, memory image, transcripts, port) lives in members that no page displays.

#include <QDialog>
#include <QString>
#include <cstdint>
#include <memory>
#include <string>

#include "device/remotelink.h"
#include "net/httpclient.h"
#include "runrecord/runrecord.h"
#include "util/stringlist.h"
#include "widgets/controls.h"
#include "wizard/logic/memoryimage.h"
#include "wizard/logic/order.h"
#include "wizard/logic/programmingrun.h"

class QProgressBar;
class QPushButton;
class QTimer;

class TForm1 : public QDialog {
    Q_OBJECT
public:
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    // --- the pages -------------------------------------------------------------------
    corvana::widgets::TAdvPageControl* AdvPageControl1;
    corvana::widgets::TAdvTabSheet* AdvTabSheet1; // working fields; its tab is never shown
    corvana::widgets::TAdvTabSheet* AdvTabSheet2; // start page
    corvana::widgets::TAdvTabSheet* AdvTabSheet3; // download page
    corvana::widgets::TAdvTabSheet* AdvTabSheet4; // finished page
    corvana::widgets::TAdvTabSheet* AdvTabSheet6; // closing page

    corvana::widgets::TImage* Image4; // start
    corvana::widgets::TImage* Image2; // download (pic2x.jpg, busy Corvana.gif)
    corvana::widgets::TImage* Image3; // finished
    corvana::widgets::TImage*
        Image5; // closing (pic5x.jpg after a restart, pic6x.jpg after a failure)

    corvana::widgets::TAdvPicture* AdvPictureWeiter;
    corvana::widgets::TAdvPicture* AdvPictureDownload;
    corvana::widgets::TAdvPicture* AdvPictureFertig;
    corvana::widgets::TAdvPicture* AdvPicture2;    // cross, success variant
    corvana::widgets::TAdvPicture* AdvPictureHilf; // left arrow, failure variant

    // Caption pairs under the picture buttons.
    corvana::widgets::TLabel *Label4, *Label8;   // start
    corvana::widgets::TLabel *Label6, *Label10;  // download
    corvana::widgets::TLabel *Label7, *Label11;  // finished
    corvana::widgets::TLabel *Label12, *Label13; // closing

    // Text lines, German above English.
    corvana::widgets::TLabel *LabelQYX1, *LabelFB1;
    corvana::widgets::TLabel *LabelQYX8, *LabelFB8;
    corvana::widgets::TLabel *LabelQYX3, *LabelFB3;
    corvana::widgets::TLabel *LabelQYX4, *LabelFB4;
    corvana::widgets::TLabel *LabelQYX5, *LabelFB5;

    // How far the block transfer has come, shown on the busy download page while the
    // blocks go out: blocks sent of blocks in all.
    QProgressBar* ProgressBlocks;

    // The server-failure check (hidden, on the start page) and its delayed close.
    QPushButton* Button1;
    QTimer* Timer1;

    // --- working state -----------------------------------------------------------------
    corvana::OrderFields Order; // FB, eArtNR: written by the file-name step only
    std::string& FB = Order.FB;
    std::string& eArtNR = Order.eArtNR;

    corvana::MemoryImage Image; // Grid1, se_Address1, se_address2
    corvana::ImageGrid& Grid1 = Image.Grid1;
    std::string& se_Address1 = Image.se_Address1;
    std::string& se_address2 = Image.se_address2;

    // diagnostics: discovery, transcript, loader; never emptied, so it keeps the newest lines
    // of the last few orders (one full image logs about 9000) rather than a whole day's
    corvana::StringList Memo1{50000};
    corvana::StringList Memo2;    // transcript of the current programming run
    corvana::StringList ListBox1; // the code server's listing

    // The wizard's own device link: port, receive accumulator, frame exchange, discovery.
    // Its transcript goes to Memo1 and Memo2.
    corvana::device::RemoteLink Link{&Memo1, &Memo2};
    corvana::device::ComPort& ComPort1 = Link.ComPort1;
    std::string& RxBuffer = Link.RxBuffer;
    bool Senden(const std::string& frame) { return Link.Senden(frame); }
    bool Empfangen(int length, int timeout) { return Link.Empfangen(length, timeout); }
    int FindBridgePort() { return Link.FindBridgePort(); }

    // The programming exchange on that link; the methods below show what it reports.
    corvana::ProgrammingRun Run{Link, Image, &Memo1, &Memo2};

    // The completion report's client; it lives as long as the window.
    corvana::net::HttpClient HttpClient1;

    QPushButton* ButtonURL; // its click is the file-name step
    QPushButton* ButtonFTP; // its click is the code-file download

    // Where the picture files are looked for; "Bilder" beside the executable.
    QString PictureFolder;

    // --- steps ---------------------------------------------------------------------------
    void FormCreate();
    void FormShow();
    void FormShowNeu();
    void FormClose();
    void AdvPictureWeiterClick();
    void AdvPictureDownloadClick();
    void AdvPictureFertigClick(); // the completion report, then the closing page
    void AdvPictureHilfClick();
    void AdvPicture2Click();
    void Button1Click();
    void Timer1Timer();

    void AdvPictureWeiterMouseMove(int X, int Y);
    void AdvPictureDownloadMouseMove(int X, int Y);
    void AdvPictureFertigMouseMove(int X, int Y);
    void AdvPicture2MouseMove(int X, int Y);
    void AdvPictureHilfMouseMove(int X, int Y);
    void AdvTabSheet2MouseMove(int X, int Y);
    void AdvTabSheet3MouseMove(int X, int Y);
    void AdvTabSheet4MouseMove(int X, int Y);
    void AdvTabSheet6MouseMove(int X, int Y);

    // The order, read from the portal browser's current address at each call.
    std::string LocationURL() const;
    std::string FBumwandeln() const;
    void ButtonURLClick();
    void ButtonFTPClick(); // the code-file download: loader and programming run included

    // Loader (the memory image and its end address) and the programming run.
    bool LadenHexFile();
    std::string GetTempDirectory() const;
    std::string xIntToHex(int32_t value, int digits) const;
    int OpenFernbedienung();
    void SendenHEXFile();
    void CloseConn();

    // The page states other steps enter.
    void ShowPage(corvana::widgets::TAdvTabSheet* sheet);
    void EnterFailureVariant(const std::string& german, const std::string& english);
    void EnterFinishedPage();
    void EnterClosingPageSuccess();

protected:
    void showEvent(QShowEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

public:
    void done(int r) override;

private:
    void Restart();
    void LoadJpeg(corvana::widgets::TImage* image, const char* file);
    void SetPointerOutside(const QWidget* button, int X, int Y);
    void SetStartTexts();
    void HardwareFailure(bool wrongHardware);
    // The run's effects on this window: pages, message boxes, progress.
    class RunView;
    // A run belongs to one showing; once the window was closed (or shown anew) during its
    // waits, it sends nothing more.
    bool RunAbandoned(int showing) const;
    int showing_ = 0;

    // The run log of the order in hand: opened by the download arrow, closed with the closing
    // page, a new start or showing, or the window's closing. Its lines tell what the user saw.
    std::unique_ptr<corvana::RunRecord> Record;
    void StartRecord();
    void RecordOrder();
    void RecordShown(const std::string& text);
    void RecordResult(const std::string& word);
    void EndRecord();
};
