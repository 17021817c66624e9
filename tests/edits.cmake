# Video clipboard, re-splitting and transition effects. The tests keep their settings
# in a temporary folder of their own (see edits_support.h).
vk_add_test(edits_core
  SOURCES edits_support.h edits_clipboard.cpp edits_resplit.cpp edits_effects.cpp)

# The effect dialog is built into the test itself, so the test needs only Qt Widgets
# and not the whole window layer.
vk_add_test(edits_gui
  SOURCES edits_support.h edits_frmeffect.cpp
          ${CMAKE_SOURCE_DIR}/timeline/frmeffect.h ${CMAKE_SOURCE_DIR}/timeline/frmeffect.cpp
  LIBS Qt6::Widgets Qt6::Test)
