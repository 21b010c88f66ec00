# Engine tests: native end-to-end programs against servers on 127.0.0.1,
# and the Windows program that drives the Winsock layer under Wine.
if(NOT WIN32)
  # One native end-to-end program: engine/<name minus its s>.cpp against the
  # servers it starts; label "asan" also runs it in the sanitizer build.
  function(ferrow_engine_e2e name timeout label)
    string(REGEX REPLACE "s$" "" stem ${name})
    add_executable(${name} engine/${stem}.cpp engine/servers.cpp)
    target_compile_definitions(${name} PRIVATE FERROW_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
    target_link_libraries(${name} PRIVATE ferrow_test_support ${ARGN} ferrow_platform ferrow_core
                          ${FERROW_GTEST})
    ferrow_warnings(${name})
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES TIMEOUT ${timeout})
    if(label)
      set_tests_properties(${name} PROPERTIES LABELS ${label})
    endif()
  endfunction()

  ferrow_engine_e2e(engine_e2e_tests 120 asan)
  # Pace and bookkeeping: starts on events, a generated stream past 4 GiB,
  # results that find their rows through re-sorts and new analyses.
  ferrow_engine_e2e(engine_pace_tests 600 "" ferrow_app_logic)
  # Retries with back-off, resumed downloads and the per-host limit.
  ferrow_engine_e2e(retry_e2e_tests 120 asan)
  # Cookies from answers and from a cookies.txt, seen in the requests.
  ferrow_engine_e2e(cookie_e2e_tests 120 asan)
  ferrow_engine_e2e(tls_e2e_tests 300 asan)
  # Pages, links and pictures handed over by a browser, with its cookies.
  ferrow_engine_e2e(snapshot_e2e_tests 120 asan)
  # Kept connections, chunked and framed answers, against the fixture and nginx.
  ferrow_engine_e2e(keepalive_e2e_tests 120 asan)
  # The jobs of a host as streams of one HTTP/2 connection, against a hostile
  # server (tools/h2_fixture_server.py) and nginx.
  ferrow_engine_e2e(h2_e2e_tests 300 asan)
endif()

if(WIN32)
  add_executable(win_engine_tests engine/win_engine_test.cpp)
  target_link_libraries(win_engine_tests PRIVATE ferrow_test_support ferrow_platform ferrow_core
                        gtest)
  ferrow_warnings(win_engine_tests)
  # The launcher starts the servers natively, then runs the program under Wine.
  add_dependencies(win_engine_tests trust_root)
  add_test(NAME win_engine_tests
           COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/engine/run_win_engine_test.sh
                   ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:trust_root>
                   $<TARGET_FILE:win_engine_tests>)
  set_tests_properties(win_engine_tests PROPERTIES TIMEOUT 120 RUN_SERIAL TRUE)

  # Ferrow.exe itself under Wine: re-sorts during HEAD checks, a download
  # past 2 GiB; and the driver of the benchmark's Wine runs (not a test).
  add_executable(engine_app_tests engine/engine_app_test.cpp ui/ferrow_app.cpp ui/fixture_ask_win.cpp)
  target_link_libraries(engine_app_tests PRIVATE ${FERROW_GTEST} comctl32 ws2_32)
  target_include_directories(engine_app_tests PRIVATE ${CMAKE_SOURCE_DIR})
  ferrow_warnings(engine_app_tests)
  add_dependencies(engine_app_tests Ferrow trust_root)
  add_test(NAME engine_app_tests
           COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/engine/run_engine_app_tests.sh
                   ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:engine_app_tests>
                   $<TARGET_FILE:Ferrow> $<TARGET_FILE:trust_root>)
  set_tests_properties(engine_app_tests PROPERTIES TIMEOUT 600 LABELS ui RUN_SERIAL TRUE)

  add_executable(engine_bench_win ${CMAKE_SOURCE_DIR}/tools/engine_bench_win.cpp ui/ferrow_app.cpp)
  target_link_libraries(engine_bench_win PRIVATE comctl32)
  target_include_directories(engine_bench_win PRIVATE ${CMAKE_SOURCE_DIR})
  ferrow_warnings(engine_bench_win)

  # What plain blocking Winsock and file calls cost under Wine, for the
  # benchmark (not a test).
  add_executable(wine_floor_win ${CMAKE_SOURCE_DIR}/tools/wine_floor_win.cpp)
  target_link_libraries(wine_floor_win PRIVATE ws2_32 user32)
  ferrow_warnings(wine_floor_win)
endif()

# Driver of tools/engine-bench.sh and tools/tls-bench.sh (not a test), native
# and for Windows.
add_executable(engine_bench ${CMAKE_SOURCE_DIR}/tools/engine_bench.cpp)
target_link_libraries(engine_bench PRIVATE ferrow_test_support ferrow_platform ferrow_core)
ferrow_warnings(engine_bench)

# libFuzzer targets over response heads and download paths and more (clang; see
# tools/engine-fuzz.sh).
if(FERROW_FUZZ)
  ferrow_fuzz_target(http_fuzz ${CMAKE_CURRENT_LIST_DIR}/http_fuzz.cpp)
  # What a TLS layer hands up, cut at record ends of every length.
  ferrow_fuzz_target(tls_stream_fuzz ${CMAKE_CURRENT_LIST_DIR}/tls_stream_fuzz.cpp)
  # Set-Cookie values, response heads, cookies.txt and cookie dates, with the
  # store's promises checked after each input.
  ferrow_fuzz_target(cookie_fuzz ${CMAKE_CURRENT_LIST_DIR}/cookie_fuzz.cpp)
  # The chunk decoder, whole against cut into pieces.
  ferrow_fuzz_target(chunked_fuzz ${CMAKE_CURRENT_LIST_DIR}/chunked_fuzz.cpp)
  # The inflate step of compressed pages, whole against cut into pieces.
  ferrow_fuzz_target(inflate_fuzz ${CMAKE_CURRENT_LIST_DIR}/inflate_fuzz.cpp)
  # The browser extension's framed message, read into a snapshot and back.
  ferrow_fuzz_target(host_message_fuzz ${CMAKE_CURRENT_LIST_DIR}/host_message_fuzz.cpp)
  # The HTTP/2 session under any server bytes, whole against cut into pieces.
  ferrow_fuzz_target(h2_frame_fuzz ${CMAKE_CURRENT_LIST_DIR}/h2_frame_fuzz.cpp)
  # The HPACK decoder over runs of header blocks, its lists encoded back.
  ferrow_fuzz_target(hpack_fuzz ${CMAKE_CURRENT_LIST_DIR}/hpack_fuzz.cpp)
endif()
