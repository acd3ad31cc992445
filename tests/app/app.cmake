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

# Pasting with an empty clipboard, on a private X server (the offscreen
# platform has a clipboard of its own that never comes back empty this way).
add_executable(test_paste ${CMAKE_CURRENT_LIST_DIR}/test_paste.cpp)
set_target_properties(test_paste PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
target_link_libraries(test_paste PRIVATE korvane_app korvane_testsupport Qt6::Test)
add_test(NAME test_paste COMMAND ${CMAKE_CURRENT_LIST_DIR}/in_xsession.sh $<TARGET_FILE:test_paste>)
set_tests_properties(test_paste PROPERTIES TIMEOUT 120 SKIP_RETURN_CODE 77
  ENVIRONMENT "QTEST_FUNCTION_TIMEOUT=60000;KORVANE_SOURCE_DIR=${CMAKE_SOURCE_DIR};KORVANE_BUILD_DIR=${CMAKE_BINARY_DIR};KORVANE_MODULE_DIR=${CMAKE_BINARY_DIR}/bin")

# The program when its desktop module cannot be loaded.
korvane_add_test(NAME test_withoutmodule SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_withoutmodule.cpp LIBS korvane_app)
