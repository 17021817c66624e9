# Inputs at the ends of their ranges, kept from the fuzz runs of the readers.
vk_add_test(limits_numbers_test SOURCES limits_numbers_test.cpp)

add_executable(limits_timeline_test limits_timeline_test.cpp)
target_link_libraries(limits_timeline_test PRIVATE writercore GTest::gtest_main)
vk_discover_tests(limits_timeline_test)
