# The editor of the history window's body box, its text files and printing,
# and the enlarged view.
korvane_add_test(NAME test_texttools
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_texttools.cpp
  LIBS korvane_texttools Qt6::PrintSupport)
