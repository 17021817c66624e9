list(APPEND CORE_SOURCES
  media/mediaplayerengine.h
)
list(APPEND GUI_SOURCES
)
include(media/engine.cmake OPTIONAL)
