# Warnings and sanitizers reach our own targets through this interface target,
# never through global flag strings, so that imported code is compiled as shipped.
add_library(telmira_options INTERFACE)
target_compile_options(telmira_options INTERFACE -Wall -Wextra -Werror)
if(TELMIRA_SANITIZE_ADDRESS OR TELMIRA_FUZZ)
  target_compile_options(telmira_options INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(telmira_options INTERFACE -fsanitize=address,undefined)
endif()
if(TELMIRA_FUZZ)
  # Coverage for the fuzzer's guidance in every library a harness reaches; only the harnesses
  # link libFuzzer's main (telmira_fuzzer).
  target_compile_options(telmira_options INTERFACE -fsanitize=fuzzer-no-link)
endif()
if(TELMIRA_SANITIZE_THREAD)
  target_compile_options(telmira_options INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
  target_link_options(telmira_options INTERFACE -fsanitize=thread)
endif()

set(TELMIRA_BIN_DIR "${CMAKE_BINARY_DIR}/bin")

# TelmiraVersion.h: the version the programs' --version prints.
configure_file("${CMAKE_CURRENT_LIST_DIR}/TelmiraVersion.h.in"
               "${CMAKE_BINARY_DIR}/generated/cmake/TelmiraVersion.h" @ONLY)
add_library(telmira_version INTERFACE)
target_include_directories(telmira_version INTERFACE "${CMAKE_BINARY_DIR}/generated")

# A program users run: built into build/bin, installed into bin.
function(telmira_program target)
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${TELMIRA_BIN_DIR}")
  target_link_libraries(${target} PRIVATE telmira_options telmira_version)
  install(TARGETS ${target})
endfunction()

# The manual page of a program, written by help2man from the program's own --help and
# --version, so that the two never disagree, and installed gzipped as Debian keeps manuals.
# Windows has no manual pages, and a cross build's programs do not run on the build machine.
#
# help2man finds the synopsis and the options of a help text by their words in its locale's
# language ("Usage:", in Russian "Использование:"), and writes the page's headings in it. A
# Russian help is therefore read in a Russian locale, which is compiled into the build folder
# from the sources in Debian's locales package, so that the system needs none generated.
if(NOT WIN32)
  find_program(HELP2MAN_EXECUTABLE help2man REQUIRED)
  find_program(LOCALEDEF_EXECUTABLE localedef REQUIRED)
  set(russianLocaleSource /usr/share/i18n/locales/ru_RU)
  if(NOT EXISTS "${russianLocaleSource}")
    message(FATAL_ERROR "The Russian manual page is written in a Russian locale, made from "
                        "${russianLocaleSource}: install the package locales")
  endif()
  set(TELMIRA_LOCALES "${CMAKE_BINARY_DIR}/locales")
  set(TELMIRA_RUSSIAN_LOCALE "${TELMIRA_LOCALES}/ru_RU.UTF-8/LC_CTYPE")
  add_custom_command(
    OUTPUT "${TELMIRA_RUSSIAN_LOCALE}"
    COMMAND "${LOCALEDEF_EXECUTABLE}" --inputfile=ru_RU --charmap=UTF-8
            "${TELMIRA_LOCALES}/ru_RU.UTF-8"
    VERBATIM)
  add_custom_target(telmira_russian_locale DEPENDS "${TELMIRA_RUSSIAN_LOCALE}")
endif()
# Usage: telmira_manual(target summary [RUSSIAN]), RUSSIAN for a program whose help is Russian.
function(telmira_manual target summary)
  cmake_parse_arguments(ARG "RUSSIAN" "" "" ${ARGN})
  if(WIN32)
    return()
  endif()
  set(page "${CMAKE_CURRENT_BINARY_DIR}/${target}.1")
  if(ARG_RUSSIAN)
    # help2man garbles a --name that is not ASCII; an include file's name section, under the
    # page's Russian heading, comes through whole.
    set(names "${CMAKE_CURRENT_BINARY_DIR}/${target}.h2m")
    file(CONFIGURE OUTPUT "${names}" CONTENT "[ИМЯ]\n${target} \\- ${summary}\n")
    set(help2man "${CMAKE_COMMAND}" -E env "LOCPATH=${TELMIRA_LOCALES}" "${HELP2MAN_EXECUTABLE}"
                 --locale=ru_RU.UTF-8 --include "${names}")
    set(inputs "${names}" "${TELMIRA_RUSSIAN_LOCALE}")
  else()
    set(help2man "${HELP2MAN_EXECUTABLE}" --name "${summary}")
    set(inputs)
  endif()
  add_custom_command(
    OUTPUT "${page}.gz"
    COMMAND ${help2man} --no-info --section 1 --output "${page}" "$<TARGET_FILE:${target}>"
    COMMAND gzip -9nf "${page}"
    DEPENDS ${target} ${inputs}
    VERBATIM)
  add_custom_target(${target}_manual ALL DEPENDS "${page}.gz")
  if(ARG_RUSSIAN)
    add_dependencies(${target}_manual telmira_russian_locale)
  endif()
  install(FILES "${page}.gz" DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")
endfunction()

# Every test executable, and the programs the tests run: what a sanitizer build needs to
# build before ctest, without the benchmarks and the fuzzers.
add_custom_target(telmira_tests)

# A GoogleTest executable registered with ctest. Widget tests pass telmira_qt_test_main in
# LIBS, which runs them on the offscreen platform; TELMIRA_BIN_DIR tells tests where the
# programs are. Each test carries its executable's name as a label, so that a build holding only
# some of the executables runs just those (ctest -L); PROPERTIES go to each of its tests. Usage:
# telmira_test(name SOURCES a.cpp b.cpp LIBS lib1 lib2 [PROPERTIES name value ...])
# A build without TELMIRA_TESTS defines no test.
function(telmira_test name)
  if(NOT TELMIRA_TESTS)
    return()
  endif()
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;PROPERTIES" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE telmira_options ${ARG_LIBS} GTest::gtest GTest::gmock)
  if(NOT "GTest::gtest_main" IN_LIST ARG_LIBS AND NOT "telmira_qt_test_main" IN_LIST ARG_LIBS)
    target_link_libraries(${name} PRIVATE GTest::gtest_main)
  endif()
  if(WIN32)
    target_link_libraries(${name} PRIVATE telmira_binary_stdout)
  endif()
  target_compile_definitions(${name} PRIVATE TELMIRA_BIN_DIR="${TELMIRA_BIN_DIR}")
  # Wine may take seconds to start a program, the first one with its server longer.
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                       PROPERTIES LABELS ${name} ${ARG_PROPERTIES})
  add_dependencies(telmira_tests ${name})
endfunction()

# A Google Benchmark executable in build/bench. Benchmarks that need widgets pass
# telmira_qt_bench_main in LIBS.
function(telmira_bench name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE telmira_options ${ARG_LIBS})
  if(NOT "telmira_qt_bench_main" IN_LIST ARG_LIBS)
    target_link_libraries(${name} PRIVATE benchmark::benchmark_main)
  endif()
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/bench")
endfunction()

# A libFuzzer harness in build/fuzz, built only with TELMIRA_FUZZ.
# Usage: telmira_fuzzer(name SOURCES a.cpp LIBS lib1)
function(telmira_fuzzer name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE telmira_options ${ARG_LIBS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/fuzz")
endfunction()

# A Windows program's resources: its version, its manifest and, with ICON, its icon.
# Usage: telmira_windows_resources(target "description" [ICON file.ico])
if(WIN32)
  enable_language(RC)
endif()
function(telmira_windows_resources target description)
  if(NOT WIN32)
    return()
  endif()
  cmake_parse_arguments(ARG "" "ICON" "" ${ARGN})
  set(TELMIRA_RC_NAME ${target})
  set(TELMIRA_RC_DESCRIPTION "${description}")
  set(TELMIRA_RC_MANIFEST "${PROJECT_SOURCE_DIR}/desktop/windows/telmira.manifest")
  set(TELMIRA_RC_ICON "")
  set(depends "${TELMIRA_RC_MANIFEST}")
  if(ARG_ICON)
    set(TELMIRA_RC_ICON "1 ICON \"${ARG_ICON}\"")
    list(APPEND depends "${ARG_ICON}")
  endif()
  set(rc "${CMAKE_CURRENT_BINARY_DIR}/${target}.rc")
  configure_file("${PROJECT_SOURCE_DIR}/desktop/windows/Program.rc.in" "${rc}" @ONLY)
  target_sources(${target} PRIVATE "${rc}")
  set_source_files_properties("${rc}" PROPERTIES OBJECT_DEPENDS "${depends}")
endfunction()
