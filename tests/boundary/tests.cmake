# The core names nothing above it (tools/boundary-check.sh); a source check,
# run once, in the native build.
if(NOT WIN32)
  add_test(NAME boundary_check COMMAND bash ${CMAKE_SOURCE_DIR}/tools/boundary-check.sh ${CMAKE_SOURCE_DIR})
  set_tests_properties(boundary_check PROPERTIES TIMEOUT 60 LABELS core)
endif()
