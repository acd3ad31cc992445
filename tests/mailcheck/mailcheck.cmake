# The mail check: its sequence against a scripted session, and the whole
# receive action against the private POP3 server.
korvane_add_test(NAME test_mailcheck_logic
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_mailcheck_logic.cpp
  LIBS korvane_mailcheck)

# The program started on a given folder that clicks the receive label once;
# the kill test runs it and kills it in the middle of a check.
add_executable(mailcheck_probe ${CMAKE_CURRENT_LIST_DIR}/mailcheck_probe.cpp)
set_target_properties(mailcheck_probe PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
target_link_libraries(mailcheck_probe PRIVATE korvane_app)

# The relay between the program and dovecot (connection cut, stall) uses
# Qt's sockets.
find_package(Qt6 REQUIRED COMPONENTS Network)
korvane_add_test(NAME test_mailcheck MAILSERVERS TIMEOUT 300
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_mailcheck.cpp
  LIBS korvane_app korvane_mailtestsupport Qt6::Network)
add_dependencies(test_mailcheck mailcheck_probe)
