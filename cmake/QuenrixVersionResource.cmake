# Gives a Windows console program its version resource (product name,
# version, description, copyright) and its manifest (long paths); nothing
# on other systems.
function(quenrix_version_resource target description)
  if(NOT WIN32)
    return()
  endif()
  set(QUENRIX_NAME ${target})
  set(QUENRIX_FILE ${target}.exe)
  set(QUENRIX_DESCRIPTION "${description}")
  set(QUENRIX_MANIFEST ${PROJECT_SOURCE_DIR}/packaging/windows/console.exe.manifest)
  set(output ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/version.rc.in ${output} @ONLY)
  target_sources(${target} PRIVATE ${output})
endfunction()
