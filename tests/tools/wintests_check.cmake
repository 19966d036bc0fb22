# Checks the wine pass rule of cmake/wintests.cmake against the endings a
# test program's output can have, as CTest applies it: a pass needs the pass
# expression and none of the fail ones.  Run as cmake -P.
include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/wintests.cmake)

set(bad 0)
function(expect text want)
  set(got 0)
  if(text MATCHES "${RK_WIN_PASS_REGEX}")
    set(got 1)
  endif()
  foreach(f IN LISTS RK_WIN_FAIL_REGEX)
    if(text MATCHES "${f}")
      set(got 0)
    endif()
  endforeach()
  if(NOT got EQUAL want)
    message(SEND_ERROR "wine rule: expected ${want} for: ${text}")
  endif()
endfunction()

expect("[==========] 1 test from 1 test suite ran. (0 ms total)\n[  PASSED  ] 1 test.\n" 1)
expect("[==========] 360 tests from 40 test suites ran.\n[  PASSED  ] 360 tests.\n" 1)
expect("[  PASSED  ] 10 tests.\n[  SKIPPED ] 2 tests, listed below:\n" 1)
expect("[==========] 0 tests from 0 test suites ran. (0 ms total)\n[  PASSED  ] 0 tests.\n" 0)
expect("[  PASSED  ] 0 tests.\n[  SKIPPED ] 3 tests, listed below:\n" 0)
expect("[  PASSED  ] 359 tests.\n[  FAILED  ] 1 test, listed below:\n" 0)
expect("[ RUN      ] A.B\n\n*** test program ended: abort()\n" 0)
expect("[ RUN      ] A.B\n" 0)
