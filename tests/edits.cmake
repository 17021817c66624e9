# Video clipboard, re-splitting and transition effects. The tests keep their settings
# in a temporary folder of their own (see edits_support.h).
vk_add_test(edits_core
  SOURCES edits_support.h edits_clipboard.cpp edits_resplit.cpp edits_effects.cpp
  LIBS app)

# The effect dialog, offscreen.
vk_add_test(edits_gui
  SOURCES edits_support.h edits_frmeffect.cpp
  LIBS app Qt6::Test)
