list(APPEND CORE_SOURCES
  render/outputformats.h render/outputformats.cpp
  render/timelinedocument.h render/timelinedocument.cpp
  render/writerparams.h render/writerparams.cpp
  render/outputdriver.h render/outputdriver.cpp
)
list(APPEND GUI_SOURCES
)
