list(APPEND CORE_SOURCES
  app/helpers.h app/helpers.cpp
  app/ui.h app/ui.cpp
  app/editor.h app/editor.cpp
  app/settings.h app/settings.cpp
)
list(APPEND GUI_SOURCES
)
