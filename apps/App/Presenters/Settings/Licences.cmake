# The licence texts of the acknowledgements, each the copyright file of the
# Debian package that ships the component, compiled into CorvaneAppPresenters
# as ":/licences/<name>.txt". A text missing at build time shows as missing in
# the sheet.
function(corvane_licence_file name)
  foreach(package IN LISTS ARGN)
    set(copyright /usr/share/doc/${package}/copyright)
    if(EXISTS ${copyright})
      set(text ${CMAKE_CURRENT_BINARY_DIR}/licences/${name}.txt)
      configure_file(${copyright} ${text} COPYONLY)
      set(CORVANE_LICENCE_FILES ${CORVANE_LICENCE_FILES} ${text} PARENT_SCOPE)
      return()
    endif()
  endforeach()
  message(WARNING "No copyright file for ${name}: the app will show its licence text as missing")
endfunction()

set(CORVANE_LICENCE_FILES)
corvane_licence_file(Qt libqt6core6 qt6-base-dev)
corvane_licence_file(nlohmann-json nlohmann-json3-dev)
corvane_licence_file(Asio libasio-dev)
corvane_licence_file(ICU libicu-dev libicu72)
corvane_licence_file(OpenSSL libssl3 libssl-dev)
if(CORVANE_LICENCE_FILES)
  qt_add_resources(CorvaneAppPresenters "corvane_licences" PREFIX "/licences"
    BASE ${CMAKE_CURRENT_BINARY_DIR}/licences FILES ${CORVANE_LICENCE_FILES})
endif()
