# Rendering: output format lists, the timeline and writer parameters documents, the
# output commands (with a stub writer started through QProcess).
vk_add_test(render_tests
  SOURCES render_support.h render_support.cpp render_timeline.cpp render_formats.cpp render_driver.cpp
          render_mp4.cpp)
target_compile_definitions(render_tests PRIVATE VK_RENDER_DATA="${CMAKE_CURRENT_SOURCE_DIR}/data/render")
