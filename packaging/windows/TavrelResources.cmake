# The Windows resources of a program: the icon, VERSIONINFO from the project's version and git
# commit, and the manifest. tavrel_windows_resources(TARGET DESCRIPTION) adds them to TARGET.
set(TAVREL_RESOURCE_DIR ${CMAKE_CURRENT_LIST_DIR})

function(tavrel_windows_resources target description)
  set(TAVREL_RC_NAME ${target})
  set(TAVREL_RC_DESCRIPTION ${description})
  # "1.09" is version 1.9.0.0 to Windows (a resource compiler reads "09" as octal).
  math(EXPR minor "${PROJECT_VERSION_MINOR} + 0")
  set(TAVREL_RC_VERSION_COMMAS "${PROJECT_VERSION_MAJOR},${minor},0,0")
  set(TAVREL_RC_VERSION_DOTS "${PROJECT_VERSION_MAJOR}.${minor}.0.0")
  set(TAVREL_RC_COMMIT ${TAVREL_GIT_COMMIT})
  if(NOT TAVREL_RC_COMMIT)
    set(TAVREL_RC_COMMIT "unknown")
  endif()
  set(TAVREL_RC_ICON ${TAVREL_RESOURCE_DIR}/tavrel.ico)
  set(out ${CMAKE_CURRENT_BINARY_DIR}/${target}_resources)
  set(TAVREL_RC_MANIFEST ${out}/${target}.manifest)
  configure_file(${TAVREL_RESOURCE_DIR}/tavrel.manifest.in ${TAVREL_RC_MANIFEST} @ONLY)
  configure_file(${TAVREL_RESOURCE_DIR}/tavrel.rc.in ${out}/${target}.rc @ONLY)
  target_sources(${target} PRIVATE ${out}/${target}.rc)
  set_property(SOURCE ${out}/${target}.rc APPEND PROPERTY OBJECT_DEPENDS
               ${TAVREL_RC_ICON} ${TAVREL_RC_MANIFEST})
endfunction()
