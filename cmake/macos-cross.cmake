# Cross-builds the Finder Sync extension bundle for macOS on Linux with
# Debian's LLVM 19: clang-19 for C, C++ and Objective-C++, ld64.lld-19 as the
# Mach-O linker, llvm-ar-19 for the static libraries. One build tree per
# architecture (clang's driver joins architectures with lipo only on a Mac);
# ./run.sh macos builds arm64 and x86_64 and joins them with llvm-lipo-19.
#
#   cmake -S . -B build-macos/arm64 -G Ninja --toolchain cmake/macos-cross.cmake \
#         -DFERLO_MACOS_SDK=/opt/MacOSX.sdk -DCMAKE_OSX_ARCHITECTURES=arm64
#
# FERLO_MACOS_SDK (cache variable, else the environment variable of that
# name, else /opt/MacOSX.sdk) is a macOS SDK in the layout `xcrun
# --show-sdk-path` gives on a Mac: usr/include with c++/v1, usr/lib/*.tbd,
# System/Library/Frameworks. Apple's files stay outside the repository.

set(CMAKE_SYSTEM_NAME Darwin)
set(CMAKE_SYSTEM_VERSION 20.0.0)  # Darwin 20: macOS 11, the oldest system the bundle supports
set(FERLO_MACOS_LLVM_SUFFIX "-19" CACHE STRING "Suffix of the LLVM tools (clang-19, ld64.lld-19, …)")

if(NOT FERLO_MACOS_SDK)
  if(DEFINED ENV{FERLO_MACOS_SDK} AND NOT "$ENV{FERLO_MACOS_SDK}" STREQUAL "")
    set(FERLO_MACOS_SDK "$ENV{FERLO_MACOS_SDK}")
  else()
    set(FERLO_MACOS_SDK /opt/MacOSX.sdk)
  endif()
endif()
set(FERLO_MACOS_SDK "${FERLO_MACOS_SDK}" CACHE PATH "macOS SDK directory (the layout of xcrun --show-sdk-path)")
foreach(required usr/include/c++/v1 usr/lib/libSystem.tbd System/Library/Frameworks/FinderSync.framework)
  if(NOT EXISTS "${FERLO_MACOS_SDK}/${required}")
    message(FATAL_ERROR "FERLO_MACOS_SDK: ${FERLO_MACOS_SDK} is not a macOS SDK with FinderSync "
                        "(no ${required}); see 'Cross-building the bundle on Linux' in the README")
  endif()
endforeach()

if(NOT CMAKE_OSX_ARCHITECTURES)
  set(CMAKE_OSX_ARCHITECTURES arm64)
endif()
list(LENGTH CMAKE_OSX_ARCHITECTURES arch_count)
if(NOT arch_count EQUAL 1 OR NOT CMAKE_OSX_ARCHITECTURES MATCHES "^(arm64|x86_64)$")
  message(FATAL_ERROR "CMAKE_OSX_ARCHITECTURES: one of arm64 or x86_64 per build tree, got "
                      "'${CMAKE_OSX_ARCHITECTURES}' (./run.sh macos builds both and joins them)")
endif()
set(CMAKE_OSX_ARCHITECTURES "${CMAKE_OSX_ARCHITECTURES}" CACHE STRING "Architecture of this build tree")
set(CMAKE_OSX_SYSROOT "${FERLO_MACOS_SDK}" CACHE PATH "macOS SDK" FORCE)
# try_compile projects read this file again, without the cache.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES FERLO_MACOS_SDK FERLO_MACOS_LLVM_SUFFIX)

find_program(FERLO_MACOS_LD ld64.lld${FERLO_MACOS_LLVM_SUFFIX} REQUIRED)
foreach(lang C CXX OBJCXX)
  # No version in the triple: -mmacosx-version-min (from CMAKE_OSX_DEPLOYMENT_TARGET) gives it.
  set(CMAKE_${lang}_COMPILER_TARGET ${CMAKE_OSX_ARCHITECTURES}-apple-darwin)
endforeach()
find_program(FERLO_MACOS_CLANG clang${FERLO_MACOS_LLVM_SUFFIX} REQUIRED)
find_program(FERLO_MACOS_CLANGXX clang++${FERLO_MACOS_LLVM_SUFFIX} REQUIRED)
set(CMAKE_C_COMPILER ${FERLO_MACOS_CLANG})
set(CMAKE_CXX_COMPILER ${FERLO_MACOS_CLANGXX})
set(CMAKE_OBJCXX_COMPILER ${FERLO_MACOS_CLANGXX})
set(CMAKE_AR llvm-ar${FERLO_MACOS_LLVM_SUFFIX} CACHE FILEPATH "")
set(CMAKE_RANLIB llvm-ranlib${FERLO_MACOS_LLVM_SUFFIX} CACHE FILEPATH "")
set(CMAKE_INSTALL_NAME_TOOL llvm-install-name-tool${FERLO_MACOS_LLVM_SUFFIX} CACHE FILEPATH "")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-fuse-ld=lld --ld-path=${FERLO_MACOS_LD}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-fuse-ld=lld --ld-path=${FERLO_MACOS_LD}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-fuse-ld=lld --ld-path=${FERLO_MACOS_LD}")

# Headers and libraries come from the SDK only; programs from this machine.
set(CMAKE_FIND_ROOT_PATH "${FERLO_MACOS_SDK}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
