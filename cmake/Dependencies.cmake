# Third-party libraries, sanitizer/fuzzer flags and the test helpers.
#
# Targets:
#   moravel::jpeg     static libjpeg-turbo, jpeg8 interface (JPEG_LIB_VERSION 80)
#   moravel::zlib     zlib (native: zlib1g-dev; windows: static libz from mingw)
#   moravel::lcms2    static Little CMS 2 (colour profiles), both targets
#   gtest, gtest_main, gmock, gmock_main      when MORAVEL_TESTS
#   benchmark::benchmark, benchmark::benchmark_main   when MORAVEL_BENCH (native)
#
# Variables:
#   MORAVEL_PLATFORM   "native" or "windows"
#   MORAVEL_PYTHON     Debian's python3 (with python3-pil and python3-numpy)
#
# Functions (documented where they are defined):
#   moravel_add_test(NAME n SOURCES ... [LIBS ...] ...)        one gtest executable = one ctest entry
#   moravel_add_script_test(NAME n COMMAND ... [PLATFORMS ...] ...)   any command as a test
#   moravel_add_fuzzer(NAME n SOURCES ... [LIBS ...] [CORPUS dir] ...)   libFuzzer target + brief ctest run
#   moravel_add_benchmark(NAME n SOURCES ... [LIBS ...])         Google Benchmark executable
#   moravel_target_path(<out-var> <path>)   a path as the target's programs see it
include_guard(GLOBAL)

get_filename_component(MORAVEL_REPO_ROOT "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)

if(DEFINED ENV{MORAVEL_DEPS_DIR} AND NOT "$ENV{MORAVEL_DEPS_DIR}" STREQUAL "")
  set(_moravel_default_deps "$ENV{MORAVEL_DEPS_DIR}")
else()
  set(_moravel_default_deps "${MORAVEL_REPO_ROOT}/build/deps")
endif()
set(MORAVEL_DEPS_DIR "${_moravel_default_deps}" CACHE PATH
    "Cache folder of the prebuilt dependencies (scripts/build-libjpeg.sh)")

option(MORAVEL_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer (native)" OFF)
set(MORAVEL_FUZZ_SECONDS 20 CACHE STRING "How long ctest runs each fuzz target")
set(MORAVEL_PYTHON /usr/bin/python3 CACHE FILEPATH
    "python3 with Debian's python3-pil and python3-numpy")

if(WIN32)
  set(MORAVEL_PLATFORM windows)
else()
  set(MORAVEL_PLATFORM native)
endif()

# ---------------------------------------------------------------------------
# Sanitizers and fuzzing.  These flags reach all project code (and GoogleTest);
# the prebuilt libjpeg stays uninstrumented, which links and runs fine.
# ---------------------------------------------------------------------------
set(MORAVEL_TEST_ENVIRONMENT "")
if(MORAVEL_SANITIZE OR MORAVEL_FUZZ)
  if(WIN32)
    message(FATAL_ERROR "MORAVEL_SANITIZE and MORAVEL_FUZZ are for the native target only")
  endif()
  set(_moravel_san -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  if(MORAVEL_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
      message(FATAL_ERROR "MORAVEL_FUZZ needs clang (use the 'fuzz' preset)")
    endif()
    # Coverage instrumentation everywhere; the libFuzzer main only in fuzz
    # executables (moravel_add_fuzzer links with -fsanitize=fuzzer).
    add_compile_options(-fsanitize=fuzzer-no-link)
    add_compile_definitions(FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION)
  endif()
  add_compile_options(${_moravel_san})
  add_link_options(-fsanitize=address,undefined)
  # Bounds checks in the standard library (operator[] of vector, string, span),
  # and assert() stays on in these checking builds.
  add_compile_definitions(_GLIBCXX_ASSERTIONS)
  foreach(_moravel_var CMAKE_C_FLAGS_RELWITHDEBINFO CMAKE_CXX_FLAGS_RELWITHDEBINFO
                       CMAKE_C_FLAGS_RELEASE CMAKE_CXX_FLAGS_RELEASE)
    string(REPLACE "-DNDEBUG" "" ${_moravel_var} "${${_moravel_var}}")
  endforeach()
  list(APPEND MORAVEL_TEST_ENVIRONMENT
       "ASAN_OPTIONS=detect_leaks=1:strict_init_order=1:check_initialization_order=1"
       "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1")
endif()

# ThreadSanitizer for the parallel batch (the native-tsan preset builds the
# tests labelled `parallel` and moravel). Reports fail the test at once.
option(MORAVEL_TSAN "Build with ThreadSanitizer (native)" OFF)
if(MORAVEL_TSAN)
  if(WIN32 OR MORAVEL_SANITIZE OR MORAVEL_FUZZ)
    message(FATAL_ERROR "MORAVEL_TSAN is for the native target, without the other sanitizers")
  endif()
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
  list(APPEND MORAVEL_TEST_ENVIRONMENT "TSAN_OPTIONS=halt_on_error=1:exitcode=66:second_deadlock_stack=1")
endif()

# ---------------------------------------------------------------------------
# libjpeg-turbo: built once per target by scripts/build-libjpeg.sh (which
# returns at once when the cached install exists).
# ---------------------------------------------------------------------------
set(_moravel_jpeg_dir "${MORAVEL_DEPS_DIR}/libjpeg-${MORAVEL_PLATFORM}")
execute_process(
  COMMAND ${CMAKE_COMMAND} -E env "MORAVEL_DEPS_DIR=${MORAVEL_DEPS_DIR}"
          bash "${MORAVEL_REPO_ROOT}/scripts/build-libjpeg.sh" ${MORAVEL_PLATFORM}
  RESULT_VARIABLE _moravel_rc)
if(NOT _moravel_rc EQUAL 0 OR NOT EXISTS "${_moravel_jpeg_dir}/lib/libjpeg.a")
  message(FATAL_ERROR "libjpeg-turbo for ${MORAVEL_PLATFORM} is missing in ${_moravel_jpeg_dir}; "
                      "run scripts/setup.sh (as root) first")
endif()
add_library(moravel::jpeg STATIC IMPORTED GLOBAL)
set_target_properties(moravel::jpeg PROPERTIES
  IMPORTED_LOCATION "${_moravel_jpeg_dir}/lib/libjpeg.a"
  INTERFACE_INCLUDE_DIRECTORIES "${_moravel_jpeg_dir}/include")

# ---------------------------------------------------------------------------
# Picture libraries of the import plug-ins and of moravel on Linux
# (formats/): built once per target by scripts/build-imagelibs.sh from
# Debian's source packages, static, cross-built for Windows.  moravel::webp
# (libwebp.a decodes and encodes; the plug-ins take only its decoder)
# and moravel::heif (libheif with libde265 and dav1d); on Windows also
# moravel::heif_hevc (libheif with libde265 alone, for heif.sph) and
# moravel::heif_av1 (libheif with dav1d alone, for avif.sph), since a libheif
# with both decoders keeps both in every link.  Natively the
# libraries' failed internal checks call moravel_library_check_failed
# (formats/library_check.cpp), taken from moravel_formats before them.
# ---------------------------------------------------------------------------
execute_process(
  COMMAND ${CMAKE_COMMAND} -E env "MORAVEL_DEPS_DIR=${MORAVEL_DEPS_DIR}"
          bash "${MORAVEL_REPO_ROOT}/scripts/build-imagelibs.sh" ${MORAVEL_PLATFORM} webp heif
  RESULT_VARIABLE _moravel_rc)
set(_moravel_webp_dir "${MORAVEL_DEPS_DIR}/libwebp-${MORAVEL_PLATFORM}")
set(_moravel_heif_dir "${MORAVEL_DEPS_DIR}/libheif-${MORAVEL_PLATFORM}")
if(NOT _moravel_rc EQUAL 0 OR NOT EXISTS "${_moravel_webp_dir}/lib/libwebp.a"
   OR NOT EXISTS "${_moravel_heif_dir}/lib/libheif.a"
   OR (WIN32 AND NOT EXISTS "${_moravel_heif_dir}/lib/libheif-av1.a"))
  message(FATAL_ERROR "the picture libraries for ${MORAVEL_PLATFORM} are missing in "
                      "${MORAVEL_DEPS_DIR}; run scripts/setup.sh (as root) first")
endif()
set(_moravel_check_hook "")
add_library(moravel::webp INTERFACE IMPORTED GLOBAL)
if(NOT WIN32)
  find_package(Threads REQUIRED)
  set(_moravel_check_hook Threads::Threads m)
  target_link_options(moravel::webp INTERFACE "LINKER:--undefined=moravel_library_check_failed")
endif()
target_include_directories(moravel::webp INTERFACE "${_moravel_webp_dir}/include")
target_link_libraries(moravel::webp INTERFACE "${_moravel_webp_dir}/lib/libwebpdemux.a"
                                              "${_moravel_webp_dir}/lib/libwebp.a"
                                              ${_moravel_check_hook})
add_library(moravel::heif INTERFACE IMPORTED GLOBAL)
target_include_directories(moravel::heif INTERFACE "${_moravel_heif_dir}/include")
target_compile_definitions(moravel::heif INTERFACE LIBHEIF_STATIC_BUILD)
target_link_libraries(moravel::heif INTERFACE "${_moravel_heif_dir}/lib/libheif.a"
                                              "${_moravel_heif_dir}/lib/libde265.a"
                                              "${_moravel_heif_dir}/lib/libdav1d.a"
                                              ${_moravel_check_hook})
if(WIN32)
  foreach(_moravel_codec hevc av1)
    add_library(moravel::heif_${_moravel_codec} INTERFACE IMPORTED GLOBAL)
    target_include_directories(moravel::heif_${_moravel_codec} INTERFACE "${_moravel_heif_dir}/include")
    target_compile_definitions(moravel::heif_${_moravel_codec} INTERFACE LIBHEIF_STATIC_BUILD)
  endforeach()
  target_link_libraries(moravel::heif_hevc INTERFACE "${_moravel_heif_dir}/lib/libheif-hevc.a"
                                                     "${_moravel_heif_dir}/lib/libde265.a")
  target_link_libraries(moravel::heif_av1 INTERFACE "${_moravel_heif_dir}/lib/libheif-av1.a"
                                                    "${_moravel_heif_dir}/lib/libdav1d.a")
endif()

# ---------------------------------------------------------------------------
# Little CMS 2 (embedded colour profiles): built once per target by
# scripts/build-lcms2.sh from Debian's source package, static, with the same
# flags on both targets so that both give the same bytes.  moravel::lcms2
# ---------------------------------------------------------------------------
set(_moravel_lcms2_dir "${MORAVEL_DEPS_DIR}/lcms2-${MORAVEL_PLATFORM}")
execute_process(
  COMMAND ${CMAKE_COMMAND} -E env "MORAVEL_DEPS_DIR=${MORAVEL_DEPS_DIR}"
          bash "${MORAVEL_REPO_ROOT}/scripts/build-lcms2.sh" ${MORAVEL_PLATFORM}
  RESULT_VARIABLE _moravel_rc)
if(NOT _moravel_rc EQUAL 0 OR NOT EXISTS "${_moravel_lcms2_dir}/lib/liblcms2.a")
  message(FATAL_ERROR "Little CMS 2 for ${MORAVEL_PLATFORM} is missing in ${_moravel_lcms2_dir}; "
                      "run scripts/setup.sh (as root) first")
endif()
if(MORAVEL_FUZZ)
  # The fuzz targets reach into the library's parser: compiled here with the
  # coverage and sanitizer flags.
  file(GLOB _moravel_lcms2_sources "${_moravel_lcms2_dir}/src/*.c")
  add_library(moravel_lcms2_fuzz STATIC ${_moravel_lcms2_sources})
  target_include_directories(moravel_lcms2_fuzz PUBLIC "${_moravel_lcms2_dir}/include")
  target_compile_definitions(moravel_lcms2_fuzz PUBLIC CMS_NO_REGISTER_KEYWORD=1)
  # As scripts/build-lcms2.sh builds it: signed overflow wraps around.
  target_compile_options(moravel_lcms2_fuzz PRIVATE -fwrapv -fno-sanitize=signed-integer-overflow)
  add_library(moravel::lcms2 ALIAS moravel_lcms2_fuzz)
else()
  add_library(moravel::lcms2 STATIC IMPORTED GLOBAL)
  set_target_properties(moravel::lcms2 PROPERTIES
    IMPORTED_LOCATION "${_moravel_lcms2_dir}/lib/liblcms2.a"
    INTERFACE_INCLUDE_DIRECTORIES "${_moravel_lcms2_dir}/include"
    # lcms2.h's prototypes without C's 'register', which C++17 dropped.
    INTERFACE_COMPILE_DEFINITIONS CMS_NO_REGISTER_KEYWORD=1)
endif()

# ---------------------------------------------------------------------------
# zlib
# ---------------------------------------------------------------------------
if(WIN32)
  # The static archive, not the import library: no zlib1.dll next to the program.
  find_library(MORAVEL_ZLIB_LIBRARY NAMES libz.a REQUIRED)
  find_path(MORAVEL_ZLIB_INCLUDE_DIR zlib.h REQUIRED)
  add_library(moravel::zlib STATIC IMPORTED GLOBAL)
  set_target_properties(moravel::zlib PROPERTIES
    IMPORTED_LOCATION "${MORAVEL_ZLIB_LIBRARY}"
    INTERFACE_INCLUDE_DIRECTORIES "${MORAVEL_ZLIB_INCLUDE_DIR}")
else()
  find_package(ZLIB REQUIRED)
  add_library(moravel::zlib INTERFACE IMPORTED GLOBAL)
  target_link_libraries(moravel::zlib INTERFACE ZLIB::ZLIB)
  set_target_properties(ZLIB::ZLIB PROPERTIES IMPORTED_GLOBAL TRUE)
endif()

# ---------------------------------------------------------------------------
# GoogleTest from Debian's sources, built with the project's flags.
# ---------------------------------------------------------------------------
set(MORAVEL_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources (package googletest)")
if(MORAVEL_TESTS)
  if(NOT EXISTS "${MORAVEL_GTEST_SOURCE_DIR}/CMakeLists.txt")
    message(FATAL_ERROR "GoogleTest sources not found in ${MORAVEL_GTEST_SOURCE_DIR}; run scripts/setup.sh")
  endif()
  set(CMAKE_POLICY_DEFAULT_CMP0077 NEW)
  set(INSTALL_GTEST OFF)
  set(BUILD_GMOCK ON)
  add_subdirectory("${MORAVEL_GTEST_SOURCE_DIR}" "${CMAKE_BINARY_DIR}/_deps/googletest" EXCLUDE_FROM_ALL)
endif()
# ctest must see the project's tests from the top-level build folder.
enable_testing()

# ---------------------------------------------------------------------------
# Google Benchmark (Debian's libbenchmark-dev), native only.
# ---------------------------------------------------------------------------
if(MORAVEL_BENCH)
  if(WIN32)
    message(FATAL_ERROR "MORAVEL_BENCH is for the native target (use the 'bench' preset)")
  endif()
  find_package(benchmark REQUIRED)
endif()

# ---------------------------------------------------------------------------
# Helpers
# ---------------------------------------------------------------------------

# moravel_target_path(<out-var> <path>)
# A host path as the target's programs see it: unchanged on native; on the
# windows target the Wine drive Z: maps "/", so /a/b becomes Z:\a\b.
function(moravel_target_path out path)
  if(WIN32 AND CMAKE_CROSSCOMPILING AND IS_ABSOLUTE "${path}")
    string(REPLACE "/" "\\" path "Z:${path}")
  endif()
  set(${out} "${path}" PARENT_SCOPE)
endfunction()

# Environment every test gets.
function(_moravel_test_environment out)
  moravel_target_path(_data "${CMAKE_SOURCE_DIR}/tests/data")
  moravel_target_path(_src "${CMAKE_SOURCE_DIR}")
  moravel_target_path(_bin "${CMAKE_BINARY_DIR}")
  set(${out} "MORAVEL_TEST_DATA=${_data}" "MORAVEL_SOURCE_DIR=${_src}"
             "MORAVEL_BINARY_DIR=${_bin}" ${MORAVEL_TEST_ENVIRONMENT} PARENT_SCOPE)
endfunction()

# Under Wine, one fixture creates the prefix and starts its wineserver before
# the first windows test, and stops the server after the last one.
if(WIN32 AND CMAKE_CROSSCOMPILING AND CMAKE_CROSSCOMPILING_EMULATOR)
  add_test(NAME wine-prefix COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} --start)
  set_tests_properties(wine-prefix PROPERTIES FIXTURES_SETUP wine_prefix TIMEOUT 300 LABELS "windows")
  add_test(NAME wine-prefix-stop COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} --kill)
  set_tests_properties(wine-prefix-stop PROPERTIES FIXTURES_CLEANUP wine_prefix LABELS "windows")
  set(MORAVEL_WINE_FIXTURE wine_prefix)
  string(JOIN " " MORAVEL_WINE_COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR})
else()
  set(MORAVEL_WINE_FIXTURE "")
  set(MORAVEL_WINE_COMMAND "")
endif()

# moravel_add_test(NAME name SOURCES src... [LIBS lib...] [ARGS arg...]
#                  [ENVIRONMENT VAR=value...] [LABELS label...] [TIMEOUT seconds])
# One GoogleTest executable linked with gtest_main (add GTest::gmock to LIBS
# for matchers and mocks), registered as
# ONE ctest entry (cheap under Wine).  It runs in the top build folder with
# MORAVEL_TEST_DATA (<source>/tests/data), MORAVEL_SOURCE_DIR and
# MORAVEL_BINARY_DIR set, as paths the program can open (Z:\... under Wine).
# On the windows target ctest runs it through Wine automatically.
function(moravel_add_test)
  cmake_parse_arguments(PARSE_ARGV 0 ARG "" "NAME;TIMEOUT" "SOURCES;LIBS;ARGS;ENVIRONMENT;LABELS")
  if(NOT ARG_NAME OR NOT ARG_SOURCES)
    message(FATAL_ERROR "moravel_add_test: NAME and SOURCES are required")
  endif()
  if(NOT MORAVEL_TESTS)
    return()
  endif()
  add_executable(${ARG_NAME} ${ARG_SOURCES})
  target_link_libraries(${ARG_NAME} PRIVATE ${ARG_LIBS} moravel_options gtest_main)
  add_test(NAME ${ARG_NAME} COMMAND ${ARG_NAME} ${ARG_ARGS} WORKING_DIRECTORY "${CMAKE_BINARY_DIR}")
  _moravel_test_environment(env)
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 600)
  endif()
  set_tests_properties(${ARG_NAME} PROPERTIES
    ENVIRONMENT "${env};${ARG_ENVIRONMENT}"
    TIMEOUT ${ARG_TIMEOUT}
    LABELS "unit;${MORAVEL_PLATFORM};${ARG_LABELS}")
  if(WIN32)
    # Wine can report exit status 0 for a program it ended for a fault it
    # could not recover from: only GoogleTest's own summary counts as a pass.
    set_tests_properties(${ARG_NAME} PROPERTIES
      PASS_REGULAR_EXPRESSION "\\[  PASSED  \\]"
      FAIL_REGULAR_EXPRESSION "\\[  FAILED  \\]")
  endif()
  if(MORAVEL_WINE_FIXTURE)
    set_tests_properties(${ARG_NAME} PROPERTIES FIXTURES_REQUIRED ${MORAVEL_WINE_FIXTURE})
  endif()
endfunction()

# moravel_add_script_test(NAME name COMMAND cmd arg...
#                         [PLATFORMS native|windows...] [DEPENDS target...]
#                         [WORKING_DIRECTORY dir] [ENVIRONMENT VAR=value...]
#                         [LABELS label...] [TIMEOUT seconds])
# Any host command (shell or python script) as a test, by default on the
# native target only.  Generator expressions work ($<TARGET_FILE:moravel>).
# Environment: MORAVEL_TEST_DATA, MORAVEL_SOURCE_DIR, MORAVEL_BINARY_DIR (host
# paths), MORAVEL_PYTHON (Debian's python3), MORAVEL_CLI (the moravel program,
# when that target exists), and on the windows target MORAVEL_WINE (a command
# prefix that runs a .exe under Wine in the test prefix, e.g.
# `$MORAVEL_WINE "$MORAVEL_CLI" --help`).
function(moravel_add_script_test)
  cmake_parse_arguments(PARSE_ARGV 0 ARG "" "NAME;TIMEOUT;WORKING_DIRECTORY"
                        "COMMAND;PLATFORMS;DEPENDS;ENVIRONMENT;LABELS")
  if(NOT ARG_NAME OR NOT ARG_COMMAND)
    message(FATAL_ERROR "moravel_add_script_test: NAME and COMMAND are required")
  endif()
  if(NOT ARG_PLATFORMS)
    set(ARG_PLATFORMS native)
  endif()
  if(NOT MORAVEL_PLATFORM IN_LIST ARG_PLATFORMS OR MORAVEL_FUZZ)
    return()
  endif()
  if(NOT ARG_WORKING_DIRECTORY)
    set(ARG_WORKING_DIRECTORY "${CMAKE_BINARY_DIR}")
  endif()
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 900)
  endif()
  add_test(NAME ${ARG_NAME} COMMAND ${ARG_COMMAND} WORKING_DIRECTORY "${ARG_WORKING_DIRECTORY}")
  set(env "MORAVEL_TEST_DATA=${CMAKE_SOURCE_DIR}/tests/data" "MORAVEL_SOURCE_DIR=${CMAKE_SOURCE_DIR}"
          "MORAVEL_BINARY_DIR=${CMAKE_BINARY_DIR}" "MORAVEL_PYTHON=${MORAVEL_PYTHON}"
          "MORAVEL_PLATFORM=${MORAVEL_PLATFORM}" ${MORAVEL_TEST_ENVIRONMENT})
  if(TARGET moravel)
    list(APPEND env "MORAVEL_CLI=$<TARGET_FILE:moravel>")
  endif()
  if(MORAVEL_WINE_COMMAND)
    list(APPEND env "MORAVEL_WINE=${MORAVEL_WINE_COMMAND}")
  endif()
  set_tests_properties(${ARG_NAME} PROPERTIES
    ENVIRONMENT "${env};${ARG_ENVIRONMENT}"
    TIMEOUT ${ARG_TIMEOUT}
    LABELS "script;${MORAVEL_PLATFORM};${ARG_LABELS}")
  if(MORAVEL_WINE_FIXTURE)
    set_tests_properties(${ARG_NAME} PROPERTIES FIXTURES_REQUIRED ${MORAVEL_WINE_FIXTURE})
  endif()
endfunction()

# moravel_add_fuzzer(NAME name SOURCES src... [LIBS lib...] [CORPUS dir]
#                    [DICT file] [SECONDS n])
# A libFuzzer executable (only when MORAVEL_FUZZ), plus a ctest entry that
# loads the seed corpus CORPUS (relative to the calling folder) and fuzzes for
# MORAVEL_FUZZ_SECONDS (or SECONDS).  New inputs go to <build>/<name>.corpus,
# never into the source tree; crashes are saved as <build>/<name>-crash-*.
# Longer runs by hand:  build/fuzz/fuzz/<name> build/fuzz/fuzz/<name>.corpus <seeds>
function(moravel_add_fuzzer)
  cmake_parse_arguments(PARSE_ARGV 0 ARG "" "NAME;CORPUS;DICT;SECONDS" "SOURCES;LIBS")
  if(NOT ARG_NAME OR NOT ARG_SOURCES)
    message(FATAL_ERROR "moravel_add_fuzzer: NAME and SOURCES are required")
  endif()
  if(NOT MORAVEL_FUZZ)
    return()
  endif()
  add_executable(${ARG_NAME} ${ARG_SOURCES})
  target_link_libraries(${ARG_NAME} PRIVATE ${ARG_LIBS} moravel_options)
  target_link_options(${ARG_NAME} PRIVATE -fsanitize=fuzzer)
  if(NOT ARG_SECONDS)
    set(ARG_SECONDS ${MORAVEL_FUZZ_SECONDS})
  endif()
  set(work "${CMAKE_CURRENT_BINARY_DIR}/${ARG_NAME}.corpus")
  file(MAKE_DIRECTORY "${work}")
  set(dirs "${work}")
  if(ARG_CORPUS)
    get_filename_component(seeds "${ARG_CORPUS}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
    if(IS_DIRECTORY "${seeds}")
      list(APPEND dirs "${seeds}")
    else()
      message(WARNING "moravel_add_fuzzer(${ARG_NAME}): seed corpus ${seeds} does not exist")
    endif()
  endif()
  # A fixed seed: a slower machine explores a prefix of what a faster one
  # does with the same corpus, so what a fresh clone's run can find, a longer
  # run here finds first.
  set(opts -seed=1 -max_total_time=${ARG_SECONDS} -timeout=25 -rss_limit_mb=2560 -print_final_stats=1
           -artifact_prefix=${CMAKE_CURRENT_BINARY_DIR}/${ARG_NAME}-)
  if(ARG_DICT)
    get_filename_component(dict "${ARG_DICT}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
    list(APPEND opts -dict=${dict})
  endif()
  add_test(NAME ${ARG_NAME} COMMAND ${ARG_NAME} ${opts} ${dirs}
           WORKING_DIRECTORY "${CMAKE_CURRENT_BINARY_DIR}")
  math(EXPR timeout "${ARG_SECONDS} * 3 + 120")
  set_tests_properties(${ARG_NAME} PROPERTIES
    ENVIRONMENT "${MORAVEL_TEST_ENVIRONMENT}"
    TIMEOUT ${timeout}
    LABELS "fuzz")
endfunction()

# moravel_add_benchmark(NAME name SOURCES src... [LIBS lib...])
# A Google Benchmark executable (only when MORAVEL_BENCH); not a ctest entry.
function(moravel_add_benchmark)
  cmake_parse_arguments(PARSE_ARGV 0 ARG "" "NAME" "SOURCES;LIBS")
  if(NOT ARG_NAME OR NOT ARG_SOURCES)
    message(FATAL_ERROR "moravel_add_benchmark: NAME and SOURCES are required")
  endif()
  if(NOT MORAVEL_BENCH)
    return()
  endif()
  add_executable(${ARG_NAME} ${ARG_SOURCES})
  target_link_libraries(${ARG_NAME} PRIVATE ${ARG_LIBS} moravel_options benchmark::benchmark_main)
endfunction()
