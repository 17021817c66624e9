# The video registration panel: its controller (core) and its window (gui).
list(APPEND CORE_SOURCES
  media/videopanel.h media/videopanel.cpp
)
list(APPEND GUI_SOURCES
  media/frmvid.h media/frmvid.cpp
)
