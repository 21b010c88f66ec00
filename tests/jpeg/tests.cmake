# JPEG decoder suites. The conformance fixtures are made natively by cjpeg and
# djpeg before the suites run (also for the Windows build, whose programs then
# read them under Wine).
set(FERROW_JPEG_FIXTURES ${CMAKE_BINARY_DIR}/jpeg-fixtures)
add_test(NAME jpeg_fixtures
  COMMAND bash ${CMAKE_SOURCE_DIR}/tools/jpeg-fixtures.sh ${FERROW_JPEG_FIXTURES})
set_tests_properties(jpeg_fixtures PROPERTIES FIXTURES_SETUP jpeg_fixtures TIMEOUT 120)
if(WIN32)
  # Wine maps the Unix root to drive Z:.
  set(jpeg_fixture_env "FERROW_JPEG_FIXTURES=Z:${FERROW_JPEG_FIXTURES}")
else()
  set(jpeg_fixture_env "FERROW_JPEG_FIXTURES=${FERROW_JPEG_FIXTURES}")
endif()

add_executable(jpeg_tests
  ${CMAKE_CURRENT_LIST_DIR}/conformance_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/decoder_unit_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/hostile_input_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/jpeg_builder.cpp)
target_link_libraries(jpeg_tests PRIVATE ferrow_jpeg ${FERROW_GTEST})
ferrow_warnings(jpeg_tests)
add_test(NAME jpeg_tests COMMAND jpeg_tests)
set_tests_properties(jpeg_tests PROPERTIES
  FIXTURES_REQUIRED jpeg_fixtures ENVIRONMENT "${jpeg_fixture_env}" TIMEOUT 300 LABELS asan)

# The fuzz target over its seed inputs, without the fuzzer.
if(NOT WIN32)
  add_executable(jpeg_fuzz_replay ${CMAKE_SOURCE_DIR}/jpeg/fuzz/jpeg_fuzz.cpp ${CMAKE_SOURCE_DIR}/jpeg/fuzz/replay_main.cpp)
  target_link_libraries(jpeg_fuzz_replay PRIVATE ferrow_jpeg)
  ferrow_warnings(jpeg_fuzz_replay)
  add_test(NAME jpeg_fuzz_seeds COMMAND jpeg_fuzz_replay ${CMAKE_SOURCE_DIR}/jpeg/fuzz/seeds)
  set_tests_properties(jpeg_fuzz_seeds PROPERTIES LABELS asan)
endif()

if(FERROW_BENCH AND NOT WIN32)
  add_executable(jpeg_bench ${CMAKE_SOURCE_DIR}/jpeg/bench/jpeg_bench.cpp)
  target_link_libraries(jpeg_bench PRIVATE ferrow_jpeg turbojpeg)
  target_compile_options(jpeg_bench PRIVATE -O2)
endif()


if(WIN32)
  # jpeg.spi and the viewer's plug-in host, through real modules. The stand-in
  # plug-ins live in their own folder so that no program finds them by chance.
  set(jpeg_test_plugins ${CMAKE_BINARY_DIR}/jpeg-test-plugins)
  foreach(fake ok1:1:1 ok2:1:2 fail:2:3 nopicture:3:4 badheader:4:5 depths:5:6)
    string(REPLACE ":" ";" parts ${fake})
    list(GET parts 0 name)
    list(GET parts 1 kind)
    list(GET parts 2 id)
    add_library(fake_${name} MODULE ${CMAKE_CURRENT_LIST_DIR}/fake_plugin_win.cpp)
    target_compile_definitions(fake_${name} PRIVATE FAKE_KIND=${kind} FAKE_ID=${id})
    target_include_directories(fake_${name} PRIVATE ${CMAKE_SOURCE_DIR})
    set_target_properties(fake_${name} PROPERTIES PREFIX "" SUFFIX ".spi"
      LIBRARY_OUTPUT_DIRECTORY ${jpeg_test_plugins} RUNTIME_OUTPUT_DIRECTORY ${jpeg_test_plugins})
    ferrow_warnings(fake_${name})
    list(APPEND jpeg_fake_targets fake_${name})
  endforeach()

  add_executable(jpeg_spi_tests
    ${CMAKE_CURRENT_LIST_DIR}/spi_plugin_test_win.cpp
    ${CMAKE_CURRENT_LIST_DIR}/plugin_host_test_win.cpp
    ${CMAKE_CURRENT_LIST_DIR}/jpeg_builder.cpp)
  target_link_libraries(jpeg_spi_tests PRIVATE ferrow_viewer_host ferrow_jpeg ${FERROW_GTEST})
  add_dependencies(jpeg_spi_tests jpeg_spi ${jpeg_fake_targets})
  ferrow_warnings(jpeg_spi_tests)
  add_test(NAME jpeg_spi_tests COMMAND jpeg_spi_tests)
  set_tests_properties(jpeg_spi_tests PROPERTIES
    FIXTURES_REQUIRED jpeg_fixtures TIMEOUT 300
    ENVIRONMENT "${jpeg_fixture_env};FERROW_JPEG_SPI=Z:$<TARGET_FILE:jpeg_spi>;FERROW_TEST_PLUGINS=Z:${jpeg_test_plugins}")
endif()
