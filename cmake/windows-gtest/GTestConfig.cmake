# GoogleTest for the cross build: Debian's sources (/usr/src/googletest) compiled with the cross
# compiler, offered under the
# targets that find_package(GTest) gives.
if(TARGET GTest::gtest)
  return()
endif()
set(QUORVEL_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources for the cross build")
if(NOT EXISTS ${QUORVEL_GTEST_SOURCE_DIR}/CMakeLists.txt)
  set(GTest_FOUND FALSE)
  set(GTest_NOT_FOUND_MESSAGE "no GoogleTest sources in ${QUORVEL_GTEST_SOURCE_DIR} (Debian package googletest)")
  return()
endif()
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
add_subdirectory(${QUORVEL_GTEST_SOURCE_DIR} ${PROJECT_BINARY_DIR}/_deps/googletest EXCLUDE_FROM_ALL)
# The sources define the GTest:: aliases themselves.
set(GTest_FOUND TRUE)
