# The mail transport's tests, and the helpers every mail-server test uses.

# Helpers for tests against the private mail servers (scripts/mailservers.sh):
# server details, delivery into the POP3 mailbox, the SMTP spool.
add_library(korvane_mailtestsupport STATIC
  ${CMAKE_CURRENT_LIST_DIR}/mailservers_support.cpp
  ${CMAKE_CURRENT_LIST_DIR}/mailservers_support.h)
target_include_directories(korvane_mailtestsupport PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(korvane_mailtestsupport PUBLIC Qt6::Core)

korvane_add_test(NAME test_transport MAILSERVERS TIMEOUT 300
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_transport.cpp ${CMAKE_CURRENT_LIST_DIR}/test_transport_fakeserver.h
  LIBS korvane_mail korvane_mailtestsupport)
target_include_directories(test_transport PRIVATE ${CMAKE_SOURCE_DIR}/src)


korvane_add_test(NAME test_transport_texts SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_transport_texts.cpp
  LIBS korvane_mail)
target_include_directories(test_transport_texts PRIVATE ${CMAKE_SOURCE_DIR}/src)
