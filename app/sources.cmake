list(APPEND CORE_SOURCES
  app/helpers.h app/helpers.cpp
  app/ui.h app/ui.cpp
  app/editor.h app/editor.cpp
  app/settings.h app/settings.cpp
  app/commandline.h app/commandline.cpp
)
list(APPEND GUI_SOURCES
  app/qtui.h app/qtui.cpp
  app/keycodes.h app/keycodes.cpp
  app/windowhook.h app/windowhook.cpp
)
include(app/dbus.cmake OPTIONAL)
