korvane_add_test(NAME test_pilgrimage_logic SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_pilgrimage_logic.cpp
                 LIBS korvane_pilgrimage)
korvane_add_test(NAME test_pilgrimage_window SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_pilgrimage_window.cpp
                 LIBS korvane_app)
