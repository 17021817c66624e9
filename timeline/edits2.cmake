# Video clipboard, re-splitting and transition effects.
list(APPEND CORE_SOURCES
  timeline/clipboard.h timeline/clipboard.cpp
  timeline/resplit.h timeline/resplit.cpp
  timeline/effects.h timeline/effects.cpp
)
list(APPEND GUI_SOURCES
  timeline/frmeffect.h timeline/frmeffect.cpp
)
