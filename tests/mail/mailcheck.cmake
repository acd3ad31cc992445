# The mail check: its sequence against a scripted session, and the whole
# receive action against the private POP3 server.
korvane_add_test(NAME test_mailcheck_logic
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_mailcheck_logic.cpp
  LIBS korvane_mail)
