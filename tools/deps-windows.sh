#!/usr/bin/env bash
# The Debian packages the Windows build and its tests need beyond tools/deps.sh's: the
# mingw-w64 cross compiler (POSIX thread model), wine to run the programs, GoogleTest's source
# to build it for Windows. A no-op when all are there.
set -euo pipefail
exec "$(dirname "$0")/deps.sh" g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine wine64 googletest cmake ninja-build

