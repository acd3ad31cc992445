# The compose window, the fortune, the reply window: everything that needs no mail server.
korvane_add_test(NAME test_compose SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_compose.cpp
  LIBS korvane_compose korvane_mailtestsupport)
# Sending through the private SMTP server.
korvane_add_test(NAME test_compose_send SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_compose_send.cpp
  LIBS korvane_compose korvane_mailtestsupport MAILSERVERS)
# mailto: links.
korvane_add_test(NAME test_mailto SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_mailto.cpp LIBS korvane_compose)
