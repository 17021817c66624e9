list(APPEND CORE_SOURCES
  timeline/rowtable.h timeline/rowtable.cpp
)
list(APPEND GUI_SOURCES
  timeline/rowtablemodel.h timeline/rowtablemodel.cpp
  timeline/rowtableview.h timeline/rowtableview.cpp
)
include(timeline/edits.cmake OPTIONAL)
include(timeline/edits2.cmake OPTIONAL)
