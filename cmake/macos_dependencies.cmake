# simdjson and utf8proc for macOS builds, the Apple build and the
# cross-build alike: built from pinned release archives for the build's
# architectures and linked statically, so that the bundle loads on any Mac
# and not only on one that has the same libraries installed. simdjson is the
# release whose header Debian's libsimdjson-dev ships, utf8proc the one of
# Debian's libutf8proc-dev, so that the Linux builds and the bundle parse
# and normalise alike.
#
# Offline: pass the unpacked sources, e.g.
#   -DFETCHCONTENT_SOURCE_DIR_SIMDJSON=/src/simdjson-3.0.1
#   -DFETCHCONTENT_SOURCE_DIR_UTF8PROC=/src/utf8proc-2.8.0
# or put the two archives (the file names below) into FERLO_DEPENDENCY_ARCHIVES;
# the hashes are checked either way an archive is used.
#
# The hashes are the SHA-256 of GitHub's archives of the release tags
# (https://github.com/<owner>/<name>/archive/<tag>.tar.gz); that archive is
# `git archive --format=tar --prefix=<name>-<version>/ <tag> | gzip -n`, so a
# clone of the tag reproduces it byte for byte. Debian's original source
# archives of the same releases are those very files, so Debian's mirror is
# the second place each one is fetched from (for machines that reach Debian's
# archive but not GitHub).

include(FetchContent)

set(FERLO_SIMDJSON_VERSION 3.0.1)
set(FERLO_SIMDJSON_SHA256 156b1bc5eb0561b2bd166b46d191fd3d95a3e709cc63761477d3b7aec2b6e9ed)
set(FERLO_UTF8PROC_VERSION 2.8.0)
set(FERLO_UTF8PROC_SHA256 a0a60a79fe6f6d54e7d411facbfcc867a6e198608f2cd992490e46f04b1bcecc)

set(FERLO_DEPENDENCY_ARCHIVES "" CACHE PATH "Directory holding simdjson-${FERLO_SIMDJSON_VERSION}.tar.gz \
and utf8proc-${FERLO_UTF8PROC_VERSION}.tar.gz; empty: download them from GitHub or Debian's mirror")
set(FERLO_DEBIAN_MIRROR "http://deb.debian.org/debian" CACHE STRING
    "Debian mirror whose pool holds the dependencies' original source archives")

# The places to fetch <name>-<version>.tar.gz from, tried in turn.
function(ferlo_dependency_urls name github version out)
  if(FERLO_DEPENDENCY_ARCHIVES)
    set(${out} "file://${FERLO_DEPENDENCY_ARCHIVES}/${name}-${version}.tar.gz" PARENT_SCOPE)
  else()
    string(SUBSTRING ${name} 0 1 initial)
    set(${out} "https://github.com/${github}/archive/v${version}.tar.gz"
               "${FERLO_DEBIAN_MIRROR}/pool/main/${initial}/${name}/${name}_${version}.orig.tar.gz"
        PARENT_SCOPE)
  endif()
endfunction()

function(ferlo_fetch_macos_dependencies)
  ferlo_dependency_urls(simdjson simdjson/simdjson ${FERLO_SIMDJSON_VERSION} simdjson_urls)
  ferlo_dependency_urls(utf8proc JuliaStrings/utf8proc ${FERLO_UTF8PROC_VERSION} utf8proc_urls)
  # SYSTEM: their headers are not this project's to keep free of warnings.
  FetchContent_Declare(simdjson SYSTEM URL ${simdjson_urls} URL_HASH SHA256=${FERLO_SIMDJSON_SHA256}
                       DOWNLOAD_EXTRACT_TIMESTAMP TRUE)
  FetchContent_Declare(utf8proc SYSTEM URL ${utf8proc_urls} URL_HASH SHA256=${FERLO_UTF8PROC_SHA256}
                       DOWNLOAD_EXTRACT_TIMESTAMP TRUE)
  # Function scope: these settings reach the two projects only.
  set(BUILD_SHARED_LIBS OFF)
  set(SIMDJSON_DEVELOPER_MODE OFF)
  set(SIMDJSON_ENABLE_THREADS OFF)  # the extension parses on the calling thread only
  set(UTF8PROC_INSTALL OFF)
  set(UTF8PROC_ENABLE_TESTING OFF)
  set(CMAKE_POLICY_DEFAULT_CMP0077 NEW)  # options above are taken as set
  FetchContent_MakeAvailable(simdjson utf8proc)
endfunction()

ferlo_fetch_macos_dependencies()
add_library(ferlo_utf8proc INTERFACE)
target_link_libraries(ferlo_utf8proc INTERFACE utf8proc)
