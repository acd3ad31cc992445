korvane_add_test(NAME test_palette SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_palette.cpp LIBS korvane_palette)
