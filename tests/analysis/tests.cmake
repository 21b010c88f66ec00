# The sample pages' picture lists agree with an independent HTML5 parser.
if(NOT CMAKE_CROSSCOMPILING AND EXISTS /usr/bin/python3)
  file(GLOB reach_pages ${CMAKE_CURRENT_LIST_DIR}/pages/reach_*.html)
  add_test(NAME html5_pictures
           COMMAND /usr/bin/python3 ${CMAKE_SOURCE_DIR}/tools/html5-pictures.py --check ${reach_pages})
  set_tests_properties(html5_pictures PROPERTIES LABELS core)
endif()

# Extra programs of the page analysis: a libFuzzer target and a benchmark.

if(FERROW_FUZZ)
  # Build with clang and FERROW_SANITIZE=ON; the core gets coverage
  # instrumentation here so the fuzzer can steer through the scanner.
  target_compile_options(ferrow_core PRIVATE -fsanitize=fuzzer-no-link)
  # The libraries keep UTF-8 literals too (see ferrow_fuzz_target).
  foreach(target ferrow_core ferrow_platform ferrow_test_support)
    get_target_property(options ${target} COMPILE_OPTIONS)
    if(options)
      list(REMOVE_ITEM options -fexec-charset=CP932)
      set_target_properties(${target} PROPERTIES COMPILE_OPTIONS "${options}")
    endif()
  endforeach()
  ferrow_fuzz_target(page_scan_fuzz ${CMAKE_CURRENT_LIST_DIR}/page_scan_fuzz.cpp)
  ferrow_fuzz_target(json_images_fuzz ${CMAKE_CURRENT_LIST_DIR}/json_images_fuzz.cpp)
endif()

if(FERROW_BENCH)
  add_executable(page_scan_bench ${CMAKE_CURRENT_LIST_DIR}/page_scan_bench.cpp)
  target_link_libraries(page_scan_bench PRIVATE ferrow_test_support ferrow_platform ferrow_core)
  ferrow_warnings(page_scan_bench)
endif()
