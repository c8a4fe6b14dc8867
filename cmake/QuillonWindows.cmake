# Cross-builds the program for Windows with MinGW-w64: the Qt-free targets
# always, the window, quillon-log and their tests too where the static Qt for
# Windows that scripts/windows-qt.sh builds is in its cache (the test command
# builds it first). The build ends with the zip a Windows pilot unpacks.
# Tests labelled "wine" run the Windows tests under Wine in a prefix made for the run.
include(ExternalProject)

set(QUILLON_MINGW_TOOLCHAIN ${CMAKE_SOURCE_DIR}/cmake/mingw-w64-x86_64.cmake)
set(QUILLON_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources to build for Windows")
set(QUILLON_WINDOWS_DIR ${CMAKE_BINARY_DIR}/windows)

find_program(QUILLON_MINGW_CXX x86_64-w64-mingw32-g++-posix)
if(NOT QUILLON_MINGW_CXX)
  message(FATAL_ERROR "QUILLON_WINDOWS_TESTS needs MinGW-w64 (x86_64-w64-mingw32-g++-posix): install the Debian package mingw-w64")
endif()
if(NOT EXISTS ${QUILLON_GTEST_SOURCE_DIR}/CMakeLists.txt)
  message(FATAL_ERROR "QUILLON_WINDOWS_TESTS needs GoogleTest's sources in ${QUILLON_GTEST_SOURCE_DIR}: install the Debian package googletest")
endif()

set(_quillon_windows_cmake_args
  -DCMAKE_TOOLCHAIN_FILE=${QUILLON_MINGW_TOOLCHAIN}
  -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE})
if(CMAKE_CXX_COMPILER_LAUNCHER)
  list(APPEND _quillon_windows_cmake_args -DCMAKE_C_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER}
    -DCMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER})
endif()

ExternalProject_Add(quillon_windows_googletest
  SOURCE_DIR ${QUILLON_GTEST_SOURCE_DIR}
  BINARY_DIR ${QUILLON_WINDOWS_DIR}/googletest
  INSTALL_DIR ${QUILLON_WINDOWS_DIR}/googletest-install
  CMAKE_ARGS ${_quillon_windows_cmake_args} -DCMAKE_INSTALL_PREFIX=<INSTALL_DIR>
  UPDATE_COMMAND ""
  EXCLUDE_FROM_ALL OFF)

set(QUILLON_WINDOWS_QT "")
if(QUILLON_QT)
  execute_process(COMMAND ${CMAKE_SOURCE_DIR}/scripts/windows-qt.sh --prefix
    OUTPUT_VARIABLE QUILLON_WINDOWS_QT OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
endif()
# The Windows build folder is named after the Qt it builds with: a toolchain
# is read only when a build folder is first configured, so another Qt needs
# another folder.
set(QUILLON_WINDOWS_BUILD ${QUILLON_WINDOWS_DIR}/build-noqt)
if(QUILLON_WINDOWS_QT AND EXISTS ${QUILLON_WINDOWS_QT}/.complete)
  get_filename_component(_quillon_windows_qt_name ${QUILLON_WINDOWS_QT} NAME)
  set(QUILLON_WINDOWS_BUILD ${QUILLON_WINDOWS_DIR}/build-${_quillon_windows_qt_name})
  # Qt's toolchain file loads ours; the host's quillon-drawart draws the artwork.
  # Qt Charts for Windows is not built yet: no charts panel there.
  set(_quillon_windows_qt_args
    -DCMAKE_TOOLCHAIN_FILE=${QUILLON_WINDOWS_QT}/lib/cmake/Qt6/qt.toolchain.cmake
    -DQUILLON_QT=ON -DQUILLON_CHARTS=OFF -DQUILLON_HOST_DRAWART=$<TARGET_FILE:quillon-drawart>)
  set(_quillon_windows_depends quillon-drawart)
  set(_quillon_windows_package ${CMAKE_COMMAND} --build <BINARY_DIR> --target package)
else()
  if(QUILLON_QT)
    message(WARNING "No Qt for Windows in ${QUILLON_WINDOWS_QT}: the Windows build has only the Qt-free "
      "targets. scripts/windows-qt.sh builds it (scripts/test.sh does so when it is missing).")
  endif()
  set(_quillon_windows_qt_args -DQUILLON_QT=OFF)
  set(_quillon_windows_package ${CMAKE_COMMAND} -E true)
endif()

# Without a Qt for Windows there is no zip, and this test says so.
if(QUILLON_QT AND QUILLON_TESTS)
  add_test(NAME package_zip COMMAND ${CMAKE_SOURCE_DIR}/scripts/check-zip.sh ${QUILLON_WINDOWS_BUILD})
  set_tests_properties(package_zip PROPERTIES LABELS package TIMEOUT 60)
endif()

ExternalProject_Add(quillon_windows
  SOURCE_DIR ${CMAKE_SOURCE_DIR}
  BINARY_DIR ${QUILLON_WINDOWS_BUILD}
  CMAKE_ARGS ${_quillon_windows_cmake_args} ${_quillon_windows_qt_args}
    -DCMAKE_PREFIX_PATH=${QUILLON_WINDOWS_DIR}/googletest-install
    -DQUILLON_BENCH=OFF -DQUILLON_TESTS=ON -DQUILLON_WINDOWS_TESTS=OFF
  INSTALL_COMMAND ${_quillon_windows_package}
  BUILD_ALWAYS ON
  DEPENDS quillon_windows_googletest ${_quillon_windows_depends})

if(QUILLON_TESTS)
  add_test(NAME windows_wine
    COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-env.sh ${QUILLON_WINDOWS_DIR}/wineprefix
            ${CMAKE_SOURCE_DIR}/scripts/windows-ctest.sh ${QUILLON_WINDOWS_BUILD})
  set_tests_properties(windows_wine PROPERTIES LABELS wine TIMEOUT 900)
endif()

# The simulator under Wine, the logbook native: quillon-sim.exe and quillon-relay.exe in one
# prefix, the native quillon-probe following the demo flight through the relay.
if(QUILLON_TESTS)
  add_test(NAME relay_wine
    COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-env.sh ${QUILLON_WINDOWS_DIR}/wineprefix-relay
            ${CMAKE_SOURCE_DIR}/tests/relay/wine_relay.sh ${QUILLON_WINDOWS_BUILD}/bin ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
  set_tests_properties(relay_wine PROPERTIES LABELS wine TIMEOUT 600)
endif()

