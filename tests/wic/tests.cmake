# wic.spi: its portable half natively (and under Wine), the plug-in through
# its exports under Wine against pictures that ImageMagick's convert makes
# and decodes before the suites run.
add_executable(wic_tests ${CMAKE_CURRENT_LIST_DIR}/wic_image_test.cpp)
target_link_libraries(wic_tests PRIVATE ferrow_wic ${FERROW_GTEST})
ferrow_warnings(wic_tests)
add_test(NAME wic_tests COMMAND wic_tests)
set_tests_properties(wic_tests PROPERTIES TIMEOUT 120 LABELS asan)

if(WIN32)
  set(FERROW_WIC_FIXTURES ${CMAKE_BINARY_DIR}/wic-fixtures)
  add_test(NAME wic_fixtures
    COMMAND bash ${CMAKE_SOURCE_DIR}/tools/wic-fixtures.sh ${FERROW_WIC_FIXTURES})
  set_tests_properties(wic_fixtures PROPERTIES FIXTURES_SETUP wic_fixtures TIMEOUT 300)

  add_executable(wic_spi_tests
    ${CMAKE_CURRENT_LIST_DIR}/wic_spi_access_win.cpp
    ${CMAKE_CURRENT_LIST_DIR}/wic_spi_test_win.cpp
    ${CMAKE_CURRENT_LIST_DIR}/wic_host_order_test_win.cpp
    ${CMAKE_CURRENT_LIST_DIR}/wic_fuzz_test_win.cpp)
  target_link_libraries(wic_spi_tests PRIVATE ferrow_viewer_host ole32 ${FERROW_GTEST})
  add_dependencies(wic_spi_tests wic_spi jpeg_spi)
  ferrow_warnings(wic_spi_tests)
  # Wine maps the Unix root to drive Z:.
  set(wic_test_env
    "FERROW_WIC_FIXTURES=Z:${FERROW_WIC_FIXTURES}"
    "FERROW_WIC_SPI=Z:$<TARGET_FILE:wic_spi>"
    "FERROW_JPEG_SPI=Z:$<TARGET_FILE:jpeg_spi>")
  add_test(NAME wic_spi_tests COMMAND wic_spi_tests --gtest_filter=-WicFuzz.*)
  add_test(NAME wic_spi_fuzz COMMAND wic_spi_tests --gtest_filter=WicFuzz.*)
  set_tests_properties(wic_spi_tests wic_spi_fuzz PROPERTIES
    FIXTURES_REQUIRED wic_fixtures TIMEOUT 300 ENVIRONMENT "${wic_test_env}")
endif()
