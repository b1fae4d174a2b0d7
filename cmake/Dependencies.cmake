# Installed dependencies are found, never copied in. scripts/setup.sh installs
# open62541 and plog into /opt/virk-deps when Debian 12 has no package for them.
list(APPEND CMAKE_PREFIX_PATH /opt/virk-deps)

find_package(Threads REQUIRED)
find_package(OpenSSL 3 REQUIRED)
if(WIN32)
  # The static libcrypto of the cross build names the system libraries it
  # calls; its CMake target does not.
  set_property(TARGET OpenSSL::Crypto APPEND PROPERTY INTERFACE_LINK_LIBRARIES ws2_32 crypt32 user32 advapi32)
endif()
find_package(open62541 1.4 REQUIRED CONFIG)
if(WIN32)
  # Its static build lists the static libcrypto by path, without the system
  # libraries that one needs after it.
  set_property(TARGET open62541::open62541 APPEND PROPERTY INTERFACE_LINK_LIBRARIES ws2_32 crypt32 user32 advapi32)
endif()

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
