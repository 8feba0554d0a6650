#pragma once
// The device info window "Corvana Pellquin Info": one click on its arrow reads out what the
// connected remote is programmed as and shows its designation and hardware version. The
// read-out itself is info::DeviceReadOut on the window's own device link; the window only
// shows what it reports.
//
// Created once and shown modally from the portal window's toolbar; it keeps its controls and
// the values of the last read-out from one showing to the next.

#include <QDialog>
#include <cstdint>
#include <string>

#include "device/remotelink.h"
#include "info/readout.h"
#include "widgets/controls.h"

class QLineEdit;

class TForm2 : public QDialog, private corvana::info::ReadOutDisplay {
    Q_OBJECT
public:
    explicit TForm2(QWidget* parent = nullptr);
    ~TForm2() override;

    // White shading into sky blue; it carries every control.
    corvana::widgets::TAdvTabSheet* AdvPanel1;
    corvana::widgets::TAdvPicture* AdvPictureAuslesen;
    corvana::widgets::TLabel *Label3, *Label4; // read out
    corvana::widgets::TLabel *Label5, *Label6; // programmed as
    corvana::widgets::TLabel* Label7;          // hardware version
    corvana::widgets::TLabel *Label1, *Label2; // no hardware, red, hidden until a failure
    QLineEdit* EditQYX;
    QLineEdit* EditVersion;

    // The window's own device link, without transcript.
    corvana::device::RemoteLink Link;
    corvana::device::ComPort& ComPort1 = Link.ComPort1;
    std::string& RxBuffer = Link.RxBuffer;

    corvana::info::DeviceReadOut ReadOut{Link};
    std::string& ReadOutCode = ReadOut.ReadOutCode;
    std::string& HardwareVersion = ReadOut.HardwareVersion;
    std::string& TypeNumber = ReadOut.TypeNumber;
    // What the last read-out that ran to its end found.
    corvana::info::ReadOutResult LastResult;

    void FormShow();
    void AdvPictureAuslesenClick();
    void OpenFernbedienung();
    void testFB();
    bool Senden(const std::string& frame) { return ReadOut.Senden(frame); }
    bool Empfangen(int length, int timeout) { return ReadOut.Empfangen(length, timeout); }
    bool EmpfangenTest(int length, int timeout) { return ReadOut.EmpfangenTest(length, timeout); }
    int64_t HexToInt64(const std::string& text) const;
    std::string xIntToHex(int32_t value, int digits) const;

    void AdvPictureAuslesenMouseMove(int X, int Y);
    void AdvPanel1MouseMove(int X, int Y);

    void done(int r) override;

protected:
    void showEvent(QShowEvent* e) override;

private:
    // What the read-out shows, in the order it reports it.
    void ClearFields() override;
    void Busy() override;
    void ShowResult(const std::string& designation, const std::string& hardwareVersion) override;
    void Ready() override;
    void NoHardware() override;
};
