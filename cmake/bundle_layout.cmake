# The extension bundle's directory, laid out on every build as a Mac build
# lays it out, so that the tests run the stand-in on what ships:
#
#   appex/FerloFinderSync.appex/Contents/Info.plist           from resources/Info.plist.in
#   appex/FerloFinderSync.appex/Contents/Resources/<lang>.lproj/…, BrandGlyph*.png
#
# Only where the bundle target itself does not make it (not on Apple
# platforms, where MACOSX_BUNDLE lays out the same directory around the
# executable). No executable here: that takes the macOS SDK.

set(FERLO_BUNDLE_DIR ${CMAKE_BINARY_DIR}/appex/FerloFinderSync.appex)

function(ferlo_lay_out_bundle)
  # The template's variables, with the values the Apple build gives them.
  set(FERLO_BUNDLE_EXECUTABLE FerloFinderSync)
  set(FERLO_MINIMUM_SYSTEM_VERSION "11.0")
  configure_file(${PROJECT_SOURCE_DIR}/resources/Info.plist.in ${FERLO_BUNDLE_DIR}/Contents/Info.plist @ONLY)

  file(GLOB resources CONFIGURE_DEPENDS
       ${PROJECT_SOURCE_DIR}/resources/*.lproj/*
       ${PROJECT_SOURCE_DIR}/resources/BrandGlyph*.png)
  set(outputs)
  foreach(source IN LISTS resources)
    file(RELATIVE_PATH relative ${PROJECT_SOURCE_DIR}/resources ${source})
    set(output ${FERLO_BUNDLE_DIR}/Contents/Resources/${relative})
    add_custom_command(OUTPUT ${output}
      COMMAND ${CMAKE_COMMAND} -E copy ${source} ${output}
      DEPENDS ${source}
      COMMENT "Laying out FerloFinderSync.appex/Contents/Resources/${relative}"
      VERBATIM)
    list(APPEND outputs ${output})
  endforeach()
  add_custom_target(ferlo_bundle ALL DEPENDS ${outputs})
endfunction()

ferlo_lay_out_bundle()
