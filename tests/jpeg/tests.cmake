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
  FIXTURES_REQUIRED jpeg_fixtures ENVIRONMENT "${jpeg_fixture_env}" TIMEOUT 300)

if(FERROW_BENCH AND NOT WIN32)
  add_executable(jpeg_bench ${CMAKE_SOURCE_DIR}/jpeg/bench/jpeg_bench.cpp)
  target_link_libraries(jpeg_bench PRIVATE ferrow_jpeg turbojpeg)
  target_compile_options(jpeg_bench PRIVATE -O2)
endif()

if(WIN32)
  include(${CMAKE_CURRENT_LIST_DIR}/win/plugin_tests.cmake OPTIONAL)
endif()
