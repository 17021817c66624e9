# Paths through several areas at once: the sound clip panel tapping on the real player,
# and the main window's output button starting a stand-in writer.

# Taps on a click track generated with ffmpeg, played with no sound device and no
# picture output (VK_MPV_AO / VK_MPV_VO, read by the player).
vk_add_test(integration_taps_test SERIAL
  SOURCES integration_taps_test.cpp
  LIBS mpvplayer
  ENV "VK_MPV_AO=null;VK_MPV_VO=null")

# The main window offscreen on scripted players; its file dialog and message boxes are
# answered from timers.
vk_add_test(integration_output_test
  SOURCES integration_output_test.cpp
  LIBS app)

# Tap accuracy through the sound clip panel: prints figures, not a test.
add_executable(soundtapbench ${CMAKE_SOURCE_DIR}/tools/soundtapbench.cpp)
target_link_libraries(soundtapbench PRIVATE mpvplayer)
set_target_properties(soundtapbench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

# The MP4 row of the main window: its list, place and stored choice, and "MP4 作成"
# starting a stand-in writer.
vk_add_test(integration_mp4_test
  SOURCES integration_mp4_test.cpp
  LIBS app)

# One MP4 rendered by the real T-VideoWrite from the documents the output command writes
# (media generated with ffmpeg, the file read back with ffprobe).
vk_add_test(integration_mp4_render_test
  SOURCES integration_mp4_render_test.cpp
  LIBS render)
target_compile_definitions(integration_mp4_render_test PRIVATE
                           VK_WRITER_FOLDER="$<TARGET_FILE_DIR:T-VideoWrite>")
add_dependencies(integration_mp4_render_test T-VideoWrite)
