# Recording and V4L2 back-end tests; included from this folder's CMakeLists.txt.
lv_add_test(recording_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/recording_test.cpp LIBS lv_capture lv_movie)
