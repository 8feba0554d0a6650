// The wizard's two network steps: the code-file download behind ButtonFTP and the
// completion report behind the finished page's arrow. Until they are wired to the FTP and
// HTTP clients these bodies stand in: the download runs nothing, the report sends nothing.
#include "wizard/CorvanaBrowserPellquin.h"

void TForm1::ButtonFTPClick() {}

void TForm1::AdvPictureFertigClick() {
    EnterClosingPageSuccess();
}
