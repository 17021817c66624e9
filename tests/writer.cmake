# Tests of the renderer T-VideoWrite. They use plain GoogleTest executables
# (no editor libraries), so they build even while the editor is being changed.

# Documents, output choice, transition table and wipe maps: no engine.
add_executable(writer_documents_test writer_documents.cpp)
target_link_libraries(writer_documents_test PRIVATE writercore GTest::gtest_main)
vk_discover_tests(writer_documents_test)

# Timeline document -> engine timeline, against golden files.
add_executable(writer_translation_test writer_translation.cpp)
target_link_libraries(writer_translation_test PRIVATE writercore GTest::gtest_main)
target_compile_definitions(writer_translation_test PRIVATE
                           VK_WRITER_GOLDEN_DIR="${CMAKE_CURRENT_SOURCE_DIR}/data/writer")
vk_discover_tests(writer_translation_test)

# Engine start-up with the trimmed module set.
add_executable(writer_engine_test writer_engine.cpp)
target_link_libraries(writer_engine_test PRIVATE writerengine Qt6::Core GTest::gtest_main)
vk_discover_tests(writer_engine_test)

# The windows' texts and the preview's test-key list, off screen.
add_executable(writer_windows_test writer_windows.cpp)
target_link_libraries(writer_windows_test PRIVATE writerui GTest::gtest_main)
vk_discover_tests(writer_windows_test)

# The check after every render, on files made with ffmpeg, and its tool.
add_executable(writer_check_test writer_check.cpp writer_testkit.cpp)
target_link_libraries(writer_check_test PRIVATE writercheck GTest::gtest_main)
target_compile_definitions(writer_check_test PRIVATE VK_WRITER_CHECK_EXE="$<TARGET_FILE:writer-check>")
add_dependencies(writer_check_test writer-check)
vk_discover_tests(writer_check_test TIMEOUT 300)

# End-to-end renders on generated media (ffmpeg, ffprobe, xvfb-run).
add_executable(writer_render_test writer_render.cpp writer_testkit.cpp)
target_link_libraries(writer_render_test PRIVATE writercore GTest::gtest_main)
# Preloaded into the renderer by one test: the engine's writer thread runs first.
add_library(writer_writerfirst MODULE writer_writerfirst.cpp)
target_link_libraries(writer_writerfirst PRIVATE ${CMAKE_DL_LIBS})
target_compile_definitions(writer_render_test PRIVATE VK_WRITER_EXE="$<TARGET_FILE:T-VideoWrite>"
                           VK_WRITER_CHECK_EXE="$<TARGET_FILE:writer-check>"
                           VK_WRITER_FIRST_LIB="$<TARGET_FILE:writer_writerfirst>")
add_dependencies(writer_render_test T-VideoWrite writer-check writer_writerfirst)
vk_discover_tests(writer_render_test TIMEOUT 300)
