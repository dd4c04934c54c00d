# Tests of the Windows build: the folders below, built with the cross compiler and run under Wine. Only
# what says something about Windows is built here: the plug-in loaded through LoadLibraryW by the host
# simulator (host), the SDK record layouts under LLP64 (sdk), and the Windows seams (library loading, the
# log in Wine's temporary folder) and the renderer whose frames are compared with the native build's
# (windows), and the OpenFX bundle's Windows binary in our OpenFX test host (ofx).
set(QF_WINDOWS_TEST_DIRS host sdk windows ofx)

if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
  message(FATAL_ERROR "The Windows tests run under Wine: install wine64 (see bootstrap.sh)")
endif()

# GoogleTest from Debian's source package (googletest), compiled with the cross compiler.
set(QF_GOOGLETEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources, built for the Windows tests")
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${QF_GOOGLETEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# The Wine prefix of this build folder, made once before the first program runs under Wine (two programs
# starting in a missing prefix at once would both try to create it).
string(REPLACE ";" "|" qf_emulator "${CMAKE_CROSSCOMPILING_EMULATOR}")
add_test(NAME wine_prefix
    COMMAND ${CMAKE_COMMAND} -DPREFIX=${QF_WINE_PREFIX} "-DEMULATOR=${qf_emulator}"
            -P ${PROJECT_SOURCE_DIR}/cmake/WinePrefix.cmake)
set_tests_properties(wine_prefix PROPERTIES FIXTURES_SETUP wine_prefix LABELS wine)

# qf_add_test(name LABEL label SOURCES ... LIBS ...): one test per program, not per case: every Wine
# start costs about half a second, and a program's cases share it.
function(qf_add_test name)
  cmake_parse_arguments(T "" "LABEL" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES LABELS "${T_LABEL};wine" FIXTURES_REQUIRED wine_prefix)
endfunction()
