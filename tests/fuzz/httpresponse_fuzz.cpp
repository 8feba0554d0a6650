// Any bytes as what an HTTP server answers to the completion report: status line, headers
// with folding, interim 1xx answers, chunked, Content-Length and unframed bodies, the line
// limit, cookies, read by the client's own response reader. A second request follows, which
// carries the cookies the first answer set. Whatever arrives, the client returns a body no
// longer than what came or raises one of its own errors, and it never keeps a connection it
// cannot use.
#include "fuzz_check.h"
#include "net/httpclient.h"
#include "scripted_peer.h"
#include "util/errors.h"

#include <cstdint>
#include <string>

using namespace corvana;
using corvana::fuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::ScriptedPeer peer(data, size);
    net::HttpClient http;
    for (int i = 0; i < 2; ++i) {
        try {
            const std::string body =
                http.Get("http://127.0.0.1:8080/Statistik.aspx?QYX=QYX81123-PQ");
            check(body.size() <= peer.script().size());
            const int code = http.ResponseCode();
            check(code >= 200 && code < 300);
        } catch (const net::EHttpProtocolError& e) {
            check(e.ResponseBody.size() <= peer.script().size());
            check(std::string(e.what()).find('\n') == std::string::npos);
        } catch (const Exception&) {
            check(!http.Connected());
        }
        check(http.Cookies().Count() <= 300);
    }
    check(peer.connects() <= 2);
    return 0;
}
