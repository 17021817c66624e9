list(APPEND CORE_SOURCES
  timeline/rowtable.h timeline/rowtable.cpp
)
list(APPEND GUI_SOURCES
)
include(timeline/edits.cmake OPTIONAL)
