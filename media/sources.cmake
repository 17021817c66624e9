list(APPEND CORE_SOURCES
  media/mediaplayerengine.h
  media/soundpanel.h media/soundpanel.cpp
)
list(APPEND GUI_SOURCES
)
include(media/engine.cmake OPTIONAL)
include(media/panel.cmake OPTIONAL)
