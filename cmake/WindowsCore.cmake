# The Windows cross-build (scripts/build-windows): the translator core, the EDI.ini reader and
# the platform layer with their tests. What needs a library that has no Windows build here
# (SOCI and the database, libxml2, libcurl, GMime, libcsv, Qt) stays out; the README's Windows
# section lists it with its Windows counterpart.
add_compile_options(-Wall -Wextra -Wno-unused-parameter)
# Windows headers: no min/max macros, Windows 8 API (job objects within jobs, RtlGetVersion).
add_compile_definitions(NOMINMAX WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0602 UNICODE _UNICODE)
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
find_package(Threads REQUIRED)
enable_testing()

# GoogleTest from Debian's sources, built by the cross compiler.
set(EDI_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(${EDI_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

add_subdirectory(src/platform)

set(EDI_CORE_APP_SOURCES catalogue text cp932_decoder ini_file settings whole_file file_mark profile)
set(EDI_CORE_CII_SOURCES block_reader dump field_conversion format item_table layout_loader line_reader local_files masters
    message_header message_plan message_writer reader sjis tfd_builder translation_log value_rule writer)
set(EDI_CORE_SOURCES)
foreach(name ${EDI_CORE_APP_SOURCES})
  list(APPEND EDI_CORE_SOURCES src/app/${name}.cpp)
endforeach()
foreach(name ${EDI_CORE_CII_SOURCES})
  list(APPEND EDI_CORE_SOURCES src/cii/${name}.cpp)
endforeach()
add_library(edi_core STATIC ${EDI_CORE_SOURCES})
target_include_directories(edi_core PUBLIC ${CMAKE_SOURCE_DIR}/src)
target_link_libraries(edi_core PUBLIC edi_platform Threads::Threads)

# Each test program is one test under wine: starting wine once per test case would cost more
# than the tests themselves.
add_library(edi_core_test_files STATIC tests/support/test_files.cpp)
target_include_directories(edi_core_test_files PUBLIC tests/support tests)
target_link_libraries(edi_core_test_files PUBLIC edi_core gtest)

add_executable(platform_child tests/platform/platform_child.cpp)
add_executable(platform_tests tests/platform/codec_test.cpp tests/platform/process_test.cpp
               tests/platform/files_test.cpp tests/platform/paths_test.cpp tests/platform/stop_signals_test.cpp)
target_link_libraries(platform_tests PRIVATE edi_core_test_files gtest_main)
add_dependencies(platform_tests platform_child)

add_executable(core_tests tests/cii/writer_test.cpp tests/cii/reader_test.cpp tests/cii/helpers_test.cpp
               tests/cii/odd_input_test.cpp tests/cii/fast_paths_test.cpp tests/app/text_test.cpp
               tests/app/ini_file_test.cpp tests/app/whole_file_test.cpp)
target_include_directories(core_tests PRIVATE tests/cii)
target_compile_definitions(core_tests PRIVATE EDI_WITHOUT_DATABASE EDI_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
target_link_libraries(core_tests PRIVATE edi_core_test_files gtest_main)

foreach(test platform_tests core_tests)
  add_test(NAME ${test} COMMAND ${test} --gtest_brief=1)
  set_tests_properties(${test} PROPERTIES TIMEOUT 300)
endforeach()
