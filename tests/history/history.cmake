# The mail histories: the record files byte by byte, and the history window
# driven offscreen with scripted message boxes.
korvane_add_test(NAME test_history_store
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_history_store.cpp
  LIBS korvane_history)
korvane_add_test(NAME test_history_window
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_history_window.cpp
  LIBS korvane_history)
