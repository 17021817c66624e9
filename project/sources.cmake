list(APPEND CORE_SOURCES
  project/projectfile.h project/projectfile.cpp
  project/clipimport.h project/clipimport.cpp
)
list(APPEND GUI_SOURCES
)
