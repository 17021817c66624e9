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
target_link_libraries(soundtapbench PRIVATE mpvplayer testsupport)
set_target_properties(soundtapbench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
