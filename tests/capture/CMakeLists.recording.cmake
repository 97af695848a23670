# Recording and V4L2 back-end tests; included from this folder's CMakeLists.txt.
lv_add_test(recording_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/recording_test.cpp LIBS lv_capture lv_movie)
lv_add_test(v4l2_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/v4l2_test.cpp ${CMAKE_CURRENT_LIST_DIR}/v4l2_replayio.cpp
    ${CMAKE_CURRENT_LIST_DIR}/v4l2_replayio.h LIBS lv_capture lv_movie)
lv_add_test(crashrecovery_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/crashrecovery_test.cpp LIBS lv_capture lv_movie)
