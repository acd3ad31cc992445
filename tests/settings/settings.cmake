korvane_add_test(NAME test_settingsfile SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_settingsfile.cpp LIBS korvane_settings)
korvane_add_test(NAME test_settingswindows SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_settingswindows.cpp LIBS korvane_settings)
korvane_add_test(NAME test_fulldisk SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_fulldisk.cpp LIBS korvane_settings korvane_addressbook
  korvane_palette korvane_texttools)

# Saved passwords in a real keyring: a private session bus with its own
# unlocked GNOME keyring (skipped where none can start).
add_executable(test_keyring ${CMAKE_CURRENT_LIST_DIR}/test_keyring.cpp)
set_target_properties(test_keyring PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
target_link_libraries(test_keyring PRIVATE korvane_settings korvane_testsupport Qt6::Test)
add_test(NAME test_keyring COMMAND ${CMAKE_CURRENT_LIST_DIR}/keyring_session.sh $<TARGET_FILE:test_keyring>)
set_tests_properties(test_keyring PROPERTIES TIMEOUT 120 SKIP_RETURN_CODE 77
  ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QTEST_FUNCTION_TIMEOUT=60000;KORVANE_MODULE_DIR=${CMAKE_BINARY_DIR}/bin")
