korvane_add_test(NAME test_settingsfile SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_settingsfile.cpp LIBS korvane_settings)
korvane_add_test(NAME test_settingswindows SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_settingswindows.cpp LIBS korvane_settings)
korvane_add_test(NAME test_fulldisk SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_fulldisk.cpp LIBS korvane_settings korvane_addressbook
  korvane_palette korvane_texttools)
