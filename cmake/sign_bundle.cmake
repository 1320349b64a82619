# Signs the extension bundle, and the host application that carries it,
# inside out: the one place the build signs. Run as a script:
#
#   cmake -DCODESIGN=codesign -DIDENTITY=<identity or -> -DAPPEX=<built .appex>
#         -DENTITLEMENTS=<the extension's entitlements file>
#         [-DHOST_APP=<Host.app> [-DHOST_SIGN=ON [-DHOST_ENTITLEMENTS=<file>]]]
#         [-DVERIFY=ON] [-DDITTO=<ditto, or empty for a plain copy>] -P cmake/sign_bundle.cmake
#
# 1. The extension is signed with exactly its own entitlements (the sandbox
#    and its application group: an unsandboxed extension is refused).
# 2. With HOST_APP, the signed bundle replaces Contents/PlugIns/<name>.appex
#    (ditto where there is one, else a copy that keeps symbolic links and
#    modes: either way the signature travels unchanged).
# 3. With HOST_SIGN, the host is signed after that, with its own entitlements
#    or none, so that its seal records the extension's signature as it is.
# 4. With VERIFY (on a Mac), `codesign --verify --strict` of the extension
#    where it ends up and of the host when it was signed.
#
# Never --deep: it would sign the nested extension again with the host's
# entitlements (or none), dropping its sandbox and its application group.
#
# A real identity signs with the hardened runtime and a secure timestamp,
# which notarisation requires. An ad hoc signature ('-') cannot be
# notarised, so it gets neither: no timestamp server is asked, and without
# the hardened runtime a debugger may still attach to the extension.

foreach(required CODESIGN IDENTITY APPEX ENTITLEMENTS)
  if("${${required}}" STREQUAL "")
    message(FATAL_ERROR "sign_bundle: -D${required}=… is required")
  endif()
endforeach()
if(NOT IS_DIRECTORY "${APPEX}")
  message(FATAL_ERROR "sign_bundle: no bundle at ${APPEX}")
endif()
if(NOT EXISTS "${ENTITLEMENTS}")
  message(FATAL_ERROR "sign_bundle: no entitlements file at ${ENTITLEMENTS}")
endif()
if(HOST_SIGN AND "${HOST_APP}" STREQUAL "")
  message(FATAL_ERROR "sign_bundle: HOST_SIGN needs HOST_APP, the host application to sign")
endif()
if(NOT "${HOST_APP}" STREQUAL "" AND NOT EXISTS "${HOST_APP}/Contents/Info.plist")
  message(FATAL_ERROR "sign_bundle: ${HOST_APP} is not an application bundle (no Contents/Info.plist)")
endif()
if(HOST_SIGN AND NOT "${HOST_ENTITLEMENTS}" STREQUAL "" AND NOT EXISTS "${HOST_ENTITLEMENTS}")
  message(FATAL_ERROR "sign_bundle: no host entitlements file at ${HOST_ENTITLEMENTS}")
endif()

if(IDENTITY STREQUAL "-")
  set(signing_options --timestamp=none)
else()
  set(signing_options --options runtime --timestamp)
endif()

# run(<what> <argument>…): runs one command, stops the build if it fails.
function(run what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    set(command)
    foreach(argument IN LISTS ARGN)
      if(argument MATCHES " ")
        set(argument "'${argument}'")
      endif()
      string(APPEND command " ${argument}")
    endforeach()
    message(FATAL_ERROR "sign_bundle: ${what} failed (${result}):\n ${command}")
  endif()
endfunction()

get_filename_component(name "${APPEX}" NAME)
message(STATUS "Signing ${name} (${IDENTITY})")
run("signing ${APPEX}" ${CODESIGN} --force --sign ${IDENTITY} --entitlements ${ENTITLEMENTS}
    ${signing_options} ${APPEX})
set(placed "${APPEX}")

if(NOT "${HOST_APP}" STREQUAL "")
  set(plugins "${HOST_APP}/Contents/PlugIns")
  set(placed "${plugins}/${name}")
  message(STATUS "Placing ${name} into ${plugins}")
  # A copy left from an earlier build goes first: ditto would merge into it.
  file(REMOVE_RECURSE "${placed}")
  file(MAKE_DIRECTORY "${plugins}")
  if(NOT DEFINED DITTO)
    find_program(DITTO ditto NO_CACHE)
  endif()
  if(DITTO)
    run("copying ${APPEX} into ${plugins}" ${DITTO} ${APPEX} ${placed})
  else()
    file(COPY "${APPEX}" DESTINATION "${plugins}")
  endif()
endif()

if(HOST_SIGN)
  set(host_entitlements)
  if(NOT "${HOST_ENTITLEMENTS}" STREQUAL "")
    set(host_entitlements --entitlements ${HOST_ENTITLEMENTS})
  endif()
  message(STATUS "Signing ${HOST_APP} (${IDENTITY})")
  run("signing ${HOST_APP}" ${CODESIGN} --force --sign ${IDENTITY} ${host_entitlements}
      ${signing_options} ${HOST_APP})
endif()

if(VERIFY)
  run("verifying ${placed}" ${CODESIGN} --verify --strict --verbose=2 ${placed})
  if(HOST_SIGN)
    run("verifying ${HOST_APP}" ${CODESIGN} --verify --strict --verbose=2 ${HOST_APP})
  endif()
endif()
