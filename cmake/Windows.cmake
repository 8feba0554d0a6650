# What the Windows build needs beyond the Linux one: the Windows headers in their lean form,
# and GoogleTest built from Debian's source package where no GoogleTest for the target exists.
enable_language(RC)
add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)

# Test programs of a cross build run under wine, in a prefix of the build's own.
if(CMAKE_CROSSCOMPILING)
  set(CORVANA_WINEPREFIX ${PROJECT_BINARY_DIR}/wineprefix CACHE PATH
      "The wine prefix the Windows tests run in (made at the first run)")
  set(CMAKE_CROSSCOMPILING_EMULATOR ${PROJECT_SOURCE_DIR}/tools/wine-run ${CORVANA_WINEPREFIX})
endif()

macro(corvana_windows_gtest)
  find_package(GTest QUIET)
  if(NOT GTest_FOUND)
    set(CORVANA_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest's source tree")
    if(NOT EXISTS ${CORVANA_GTEST_SOURCE}/CMakeLists.txt)
      message(FATAL_ERROR "no GoogleTest for Windows: install Debian's googletest (source)")
    endif()
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
    add_subdirectory(${CORVANA_GTEST_SOURCE} ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
    foreach(lib gtest gtest_main gmock)
      if(NOT TARGET GTest::${lib})
        add_library(GTest::${lib} ALIAS ${lib})
      endif()
    endforeach()
  endif()
endmacro()
set(CORVANA_WINDOWS_TOOLS pellquin CACHE STRING "The tools/ folders built for Windows")

# The Linux build's programs the Windows tests play against (the simulated remote control).
set(CORVANA_HOST_BIN "${PROJECT_SOURCE_DIR}/build-lin/bin" CACHE PATH
    "The bin folder of a Linux build holding remotesim")
