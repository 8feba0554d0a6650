// The wizard's two network steps: the code-file download behind ButtonFTP and the
// completion report behind the finished page's arrow.
#include <cstdio>

#include "net/ftpsession.h"
#include "util/settings.h"
#include "widgets/messages.h"
#include "wizard/CorvanaBrowserPellquin.h"
#include "wizard/logic/hexloader.h"
#include "wizard/logic/order.h"

namespace {

// An error that ends the download after the code file arrived would leave the port open
// and the code file lying in the temporary directory; both are cleaned up on that path too.
class AfterDownload {
public:
    AfterDownload(TForm1& wizard, std::string localPath)
        : wizard_(wizard), localPath_(std::move(localPath)) {}
    ~AfterDownload() {
        if (armed_) {
            try {
                wizard_.CloseConn();
            } catch (...) {
                // the error that brought us here is the one the user sees
            }
            std::remove(localPath_.c_str());
        }
    }
    AfterDownload(const AfterDownload&) = delete;
    AfterDownload& operator=(const AfterDownload&) = delete;
    void disarm() { armed_ = false; }

private:
    TForm1& wizard_;
    std::string localPath_;
    bool armed_ = true;
};

} // namespace

void TForm1::ButtonFTPClick() {
    using namespace corvana;
    net::TFtpSession session;
    session.UseCodeServer();
    if (Record)
        Record->WatchFtp(session.Client);
    session.Client.Connect();
    if (!session.ChangeDirectory(settings::kCodeServerDirectory)) {
        RecordShown("Fehler(1)");
        ui::MessageBox("Fehler(1)");
    }
    ListBox1.Clear();
    for (const auto& line : session.ListFiles().lines())
        ListBox1.Add(line);

    const std::string localPath = LocalCodeFilePath();
    if (!session.Download(eArtNR, localPath, true)) {
        RecordShown("Datei nicht vorhanden\rFile not found");
        RecordResult("file not found");
        ui::MessageBox("Datei nicht vorhanden\rFile not found");
        session.Client.Disconnect();
        close();
        return;
    }
    AfterDownload cleanup(*this, localPath);
    if (LadenHexFile()) {
        if (OpenFernbedienung() == 1)
            SendenHEXFile();
    }
    cleanup.disarm();
    CloseConn();
    std::remove(localPath.c_str()); // a failure to delete is of no consequence
    session.Client.Disconnect();
}

void TForm1::AdvPictureFertigClick() {
    using namespace corvana;
    const std::string designation = RemoteDesignation(LocationURL());
    const std::string session = PortalSessionId(LocationURL());
    if (Record)
        Record->WatchHttp(HttpClient1);
    std::string body;
    try {
        body = HttpClient1.Get("http://" + settings::portalHostGerman() + "/Corvana/(S(" + session +
                               "))/Statistik.aspx?QYX=QYX" + designation);
    } catch (const std::exception& e) {
        // A response that was no success has its status line in the log already.
        if (Record && !dynamic_cast<const net::EHttpProtocolError*>(&e))
            Record->HttpFailed(e.what());
        body.clear(); // the international host is asked instead
    }
    if (body.empty()) {
        try {
            HttpClient1.Get("http://" + settings::portalHostInternational() + "/(S(" + session +
                            "))/Statistik.aspx?QYX=QYX" + designation);
        } catch (const std::exception& e) {
            if (Record) {
                if (!dynamic_cast<const net::EHttpProtocolError*>(&e))
                    Record->HttpFailed(e.what());
                Record->Report("failed: " + ui::errorDisplayText(e.what()));
            }
            throw;
        }
    }
    EnterClosingPageSuccess();
    if (Record) {
        Record->Report("sent: closing page");
        EndRecord();
    }
}
