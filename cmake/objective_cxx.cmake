# The Objective-C++ language for the macOS layer (platform/macos, appex/):
# Apple's compiler and frameworks on macOS; on Linux (FERLO_BUILD_GNUSTEP)
# clang against GNUstep, whose flags land in FERLO_GNUSTEP_OBJCXX_FLAGS and
# FERLO_GNUSTEP_LINK_FLAGS.
if(APPLE)
  enable_language(OBJCXX)
  return()
endif()

# GNUstep's runtime on Debian is GCC's libobjc, which clang speaks with
# -fobjc-runtime=gcc; GCC's own Objective-C++ front end cannot build these
# sources, so the .mm files are compiled as OBJCXX by clang++ while the
# portable core stays with the project's C++ compiler. Both use libstdc++,
# so the objects link together.
if(FERLO_SANITIZE AND NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  message(FATAL_ERROR "FERLO_SANITIZE with FERLO_BUILD_GNUSTEP needs CMAKE_CXX_COMPILER=clang++: the core "
                      "and the Objective-C++ layer must bring the same sanitizer runtime.")
endif()
find_program(FERLO_GNUSTEP_CONFIG gnustep-config REQUIRED)
if(NOT CMAKE_OBJCXX_COMPILER)
  find_program(FERLO_CLANGXX NAMES clang++ clang++-14 REQUIRED)
  set(CMAKE_OBJCXX_COMPILER ${FERLO_CLANGXX})
endif()
enable_language(OBJCXX)

execute_process(COMMAND ${FERLO_GNUSTEP_CONFIG} --objc-flags
                OUTPUT_VARIABLE gnustep_objc_flags OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND ${FERLO_GNUSTEP_CONFIG} --gui-libs
                OUTPUT_VARIABLE gnustep_gui_libs OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
separate_arguments(gnustep_objc_flags UNIX_COMMAND "${gnustep_objc_flags}")
separate_arguments(gnustep_gui_libs UNIX_COMMAND "${gnustep_gui_libs}")
# Keep the definitions, include paths and language switches; dependency
# files, optimisation, debug info and warnings are the build's own.
list(FILTER gnustep_objc_flags EXCLUDE REGEX "^-(MMD|MP|O[0-9s]?|g|Wall|I\\.)$")

# GCC's objc/ headers (the runtime GNUstep was built for).
execute_process(COMMAND gcc -print-file-name=include
                OUTPUT_VARIABLE gcc_include OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT EXISTS ${gcc_include}/objc/objc.h)
  set(gcc_include /usr/lib/gcc/x86_64-linux-gnu/12/include)
endif()
set(FERLO_GNUSTEP_OBJCXX_FLAGS ${gnustep_objc_flags} -fobjc-runtime=gcc -idirafter ${gcc_include}
    CACHE INTERNAL "Compile options of the Objective-C++ sources on GNUstep")
set(FERLO_GNUSTEP_LINK_FLAGS ${gnustep_gui_libs} CACHE INTERNAL "Link options of GNUstep programs")
