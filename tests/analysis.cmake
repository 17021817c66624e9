# The sound analysis: decoding, beats and bars, snapping, the cache and the worker, on
# sounds the tests generate.
vk_add_test(analysis_tests
  SOURCES analysis_beats_test.cpp analysis_worker_test.cpp
  LIBS analysis timeline)

# Beat analysis benchmark: prints figures against targets, not a test.
add_executable(beatbench ${CMAKE_SOURCE_DIR}/tools/beatbench.cpp)
target_link_libraries(beatbench PRIVATE analysis timeline)
set_target_properties(beatbench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
# With aubio installed the benchmark also runs aubio's tempo tracker on the same tracks,
# for comparison; the editor itself does not use it.
pkg_check_modules(AUBIO QUIET IMPORTED_TARGET aubio)
if(AUBIO_FOUND)
  target_compile_definitions(beatbench PRIVATE VK_BENCH_AUBIO)
  target_link_libraries(beatbench PRIVATE PkgConfig::AUBIO)
endif()
