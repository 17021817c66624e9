# Sound section editing, row selection and navigation, undo and redo.
vk_add_test(timeline_tests
  SOURCES timeline_sections_test.cpp timeline_rowselection_test.cpp timeline_undo_test.cpp)

# Timings of the row table commands on a 10,000-row table: prints figures, not a test.
add_executable(tablebench ${CMAKE_SOURCE_DIR}/tools/tablebench.cpp)
target_link_libraries(tablebench PRIVATE timeline testsupport)
set_target_properties(tablebench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

# The row table on the main window, offscreen, through the real view.
vk_add_test(timeline_view_tests SOURCES timeline_view_test.cpp LIBS app Qt6::Test)
