# Checks that the three compiled-in identities agree with each other and
# derives the default app-group identifier from them.
function(ferlo_check_identity)
  string(LENGTH "${FERLO_TEAM_IDENTIFIER}" team_length)
  if(NOT team_length EQUAL 10 OR NOT FERLO_TEAM_IDENTIFIER MATCHES "^[A-Z0-9]+$")
    message(FATAL_ERROR "FERLO_TEAM_IDENTIFIER must be 10 upper-case letters or digits, got '${FERLO_TEAM_IDENTIFIER}'")
  endif()
  if(NOT FERLO_EXTENSION_BUNDLE_IDENTIFIER MATCHES "^(.+)\\.FinderSync$")
    message(FATAL_ERROR "FERLO_EXTENSION_BUNDLE_IDENTIFIER must end in '.FinderSync', got '${FERLO_EXTENSION_BUNDLE_IDENTIFIER}'")
  endif()
  if(NOT CMAKE_MATCH_1 STREQUAL FERLO_HOST_BUNDLE_IDENTIFIER)
    message(FATAL_ERROR "FERLO_EXTENSION_BUNDLE_IDENTIFIER less its last component ('${CMAKE_MATCH_1}') "
                        "must equal FERLO_HOST_BUNDLE_IDENTIFIER ('${FERLO_HOST_BUNDLE_IDENTIFIER}')")
  endif()
  set(FERLO_APP_GROUP_IDENTIFIER "${FERLO_TEAM_IDENTIFIER}.${FERLO_HOST_BUNDLE_IDENTIFIER}" PARENT_SCOPE)
  set(FERLO_APP_GROUP_IDENTIFIER "${FERLO_TEAM_IDENTIFIER}.${FERLO_HOST_BUNDLE_IDENTIFIER}" CACHE INTERNAL "")
endfunction()
