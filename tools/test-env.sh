# Environment for the tests: no display needed, WebEngine allowed to run as root, the
# sanitizers strict about our code and quiet about leaks inside system libraries.
export QT_QPA_PLATFORM=offscreen
export QTWEBENGINE_DISABLE_SANDBOX=1
export QTWEBENGINE_CHROMIUM_FLAGS="${QTWEBENGINE_CHROMIUM_FLAGS:---disable-gpu --no-sandbox}"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0:strict_string_checks=1}"
export LSAN_OPTIONS="suppressions=$here/tests/support/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
