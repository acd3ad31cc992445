korvane_add_test(NAME test_mainform SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_mainform.cpp LIBS korvane_app)

# The built program itself under a private X server: main window and server
# settings window, typed into with xdotool.
add_test(NAME test_endtoend_firststart
  COMMAND ${CMAKE_CURRENT_LIST_DIR}/endtoend_firststart.sh $<TARGET_FILE:korvane> ${CMAKE_SOURCE_DIR}/data)
set_tests_properties(test_endtoend_firststart PROPERTIES TIMEOUT 120 SKIP_RETURN_CODE 77)

# The built program started several times on one program folder.
korvane_add_test(NAME test_oneinstance SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_oneinstance.cpp LIBS korvane_app
  TIMEOUT 180)
add_dependencies(test_oneinstance korvane)

# The automatic check, the desktop notification (a stand-in service on a
# private session bus) and the keyboard on the main window, against the
# private POP3 server.
korvane_add_test(NAME test_dailychecks MAILSERVERS TIMEOUT 180
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_dailychecks.cpp
  LIBS korvane_app korvane_mailtestsupport)
