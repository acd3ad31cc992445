# The mail transport's tests.

korvane_add_test(NAME test_transport MAILSERVERS TIMEOUT 300
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_transport.cpp ${CMAKE_CURRENT_LIST_DIR}/test_transport_fakeserver.h
  LIBS korvane_transport korvane_mailtestsupport)
target_include_directories(test_transport PRIVATE ${CMAKE_SOURCE_DIR}/src)


korvane_add_test(NAME test_transport_texts SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_transport_texts.cpp
  LIBS korvane_transport)
target_include_directories(test_transport_texts PRIVATE ${CMAKE_SOURCE_DIR}/src)
