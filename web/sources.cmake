list(APPEND CORE_SOURCES
)
list(APPEND GUI_SOURCES
  web/makerpage.h web/makerpage.cpp
  web/aboutdialog.h web/aboutdialog.cpp
)
