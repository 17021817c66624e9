# The beat assist in the editor: taps through a tap adjuster and sections cut at beats
# (timeline), the assist's analysis, snapping, settings and calibration on scripted
# players, and the waveform strip drawn offscreen in the main window.
vk_add_test(beats_sections_tests SOURCES beats_sections_test.cpp)
vk_add_test(beats_app_tests SOURCES beats_assist_test.cpp beats_strip_test.cpp LIBS app Qt6::Test)

# Draw time of the waveform strip for a 10-minute song: prints figures, not a test.
add_executable(stripbench ${CMAKE_SOURCE_DIR}/tools/stripbench.cpp)
target_link_libraries(stripbench PRIVATE app)
set_target_properties(stripbench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
