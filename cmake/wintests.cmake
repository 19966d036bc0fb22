# The rule by which a test program run whole under wine passes: GoogleTest's
# closing summary with at least one passed test, and no failure line and no
# "*** test program ended" from the crash guard (tests/win32_main.cpp).  A
# program that ends early (wine's default Ctrl-C handler ends a process with
# code 0), or one whose filter or skips left no test run ("[  PASSED  ] 0
# tests."), does not pass.  Included by tests/CMakeLists.txt and by the check
# of the rule itself (tests/tools/wintests_check.cmake).
set(RK_WIN_PASS_REGEX "\\[  PASSED  \\] [1-9][0-9]* tests?\\.")
set(RK_WIN_FAIL_REGEX "\\[  FAILED  \\];\\*\\*\\* test program ended")
