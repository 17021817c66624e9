# Project files and clip import: the document format (golden files in data/project),
# the open and save commands, atomic saves and the import rules.
vk_add_test(project_tests
  SOURCES project_file_test.cpp project_commands_test.cpp)
target_compile_definitions(project_tests PRIVATE VK_PROJECT_DATA="${CMAKE_CURRENT_SOURCE_DIR}/data/project")

# Save and load of a 10,000-row project: prints figures, not a test.
add_executable(projectbench ${CMAKE_SOURCE_DIR}/tools/projectbench.cpp)
target_link_libraries(projectbench PRIVATE project testsupport)
set_target_properties(projectbench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
