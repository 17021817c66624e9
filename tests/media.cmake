# Media player tests on media generated at test time with ffmpeg. They run with no
# sound device and no picture output (VK_MPV_AO / VK_MPV_VO, read by the player).
vk_add_test(media_tests SERIAL
  SOURCES media_info_test.cpp media_engine_test.cpp
  LIBS mpvplayer
  ENV "VK_MPV_AO=null;VK_MPV_VO=null")

# With a video widget: only the sound output is silenced, so the drawing path is used.
vk_add_test(media_widget_tests
  SOURCES media_widget_test.cpp
  LIBS mpvplayer
  ENV "VK_MPV_AO=null")

# Tap accuracy benchmark: prints figures, not a test.
add_executable(tapbench ${CMAKE_SOURCE_DIR}/tools/tapbench.cpp)
target_link_libraries(tapbench PRIVATE mpvplayer testsupport)
set_target_properties(tapbench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

# Manual check of the video widget on a display: opens a file, plays it in a window.
add_executable(videoshow ${CMAKE_SOURCE_DIR}/tools/videoshow.cpp)
target_link_libraries(videoshow PRIVATE mpvplayer)
set_target_properties(videoshow PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
