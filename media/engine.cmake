# The libmpv + libavformat implementation of MediaPlayerEngine.
list(APPEND MEDIA_SOURCES
  media/mpvengine.h media/mpvengine.cpp
  media/mediainfo.h media/mediainfo.cpp
  media/videowidget.h media/videowidget.cpp
  media/mediaprobe.h media/mediaprobe.cpp
)
