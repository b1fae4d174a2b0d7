# Installed dependencies are found, never copied in. scripts/setup.sh installs
# open62541 and plog into /opt/virk-deps when Debian 12 has no package for them.
list(APPEND CMAKE_PREFIX_PATH /opt/virk-deps)

find_package(Threads REQUIRED)
find_package(OpenSSL 3 REQUIRED)
find_package(open62541 1.4 REQUIRED CONFIG)

find_path(PLOG_INCLUDE_DIR plog/Log.h PATHS /opt/virk-deps/include REQUIRED)
add_library(plog INTERFACE IMPORTED)
target_include_directories(plog INTERFACE ${PLOG_INCLUDE_DIR})

find_path(SIMPLEINI_INCLUDE_DIR SimpleIni.h PATH_SUFFIXES simpleini REQUIRED)
add_library(simpleini INTERFACE IMPORTED)
target_include_directories(simpleini INTERFACE ${SIMPLEINI_INCLUDE_DIR})

if(VIRK_BUILD_TESTS)
  find_package(GTest REQUIRED)
endif()
if(VIRK_BUILD_BENCH)
  find_package(benchmark REQUIRED)
endif()
if(VIRK_BUILD_CONFIGURATOR)
  find_package(Qt6 REQUIRED COMPONENTS Core Gui Widgets Concurrent Test Charts)
endif()
