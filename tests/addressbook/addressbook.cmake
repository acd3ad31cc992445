korvane_add_test(NAME test_addressbookfile SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_addressbookfile.cpp LIBS korvane_addressbook)
korvane_add_test(NAME test_friendform SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_friendform.cpp LIBS korvane_addressbook)
