# Engine tests: native end-to-end programs against servers on 127.0.0.1,
# and the Windows program that drives the Winsock layer under Wine.
if(NOT WIN32)
  add_executable(engine_e2e_tests engine/engine_e2e_test.cpp engine/servers.cpp)
  target_compile_definitions(engine_e2e_tests PRIVATE FERROW_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  target_link_libraries(engine_e2e_tests PRIVATE ferrow_test_support ferrow_platform ferrow_core
                        ${FERROW_GTEST})
  ferrow_warnings(engine_e2e_tests)
  add_test(NAME engine_e2e_tests COMMAND engine_e2e_tests)
  set_tests_properties(engine_e2e_tests PROPERTIES TIMEOUT 120 LABELS asan)
endif()
