# Sound section editing and row selection: commands of the editor on the row table.
list(APPEND CORE_SOURCES
  timeline/sections.cpp
  timeline/rowselection.cpp
)
