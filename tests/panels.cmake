# The video registration panel: its controller with the scripted player and dialogs,
# its window offscreen, and the controller on the real player with media generated at
# test time.
vk_add_test(panels_video_tests
  SOURCES panels_video_test.cpp)

vk_add_test(panels_video_widget_tests
  SOURCES panels_video_widget_test.cpp
  LIBS app)

# No sound device and no picture output for the real player.
vk_add_test(panels_video_media_tests
  SOURCES panels_video_media_test.cpp
  LIBS mpvplayer
  ENV "VK_MPV_AO=null;VK_MPV_VO=null")
