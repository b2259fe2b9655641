# In a cross build the header-only libraries come from the build machine's
# packages. Their package files would add the machine's whole /usr/include
# (glibc's headers among them), so only their own folders are linked into
# a private include folder.
set(QUENRIX_HOST_INCLUDE ${CMAKE_BINARY_DIR}/host-include)
file(MAKE_DIRECTORY ${QUENRIX_HOST_INCLUDE})

function(quenrix_host_header_library target folder)  # a folder of headers, or one header
  if(NOT EXISTS /usr/include/${folder})
    message(FATAL_ERROR "/usr/include/${folder} is missing: run scripts/install-deps")
  endif()
  file(CREATE_LINK /usr/include/${folder} ${QUENRIX_HOST_INCLUDE}/${folder} SYMBOLIC)
  add_library(${target} INTERFACE IMPORTED GLOBAL)
  set_target_properties(${target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${QUENRIX_HOST_INCLUDE})
endfunction()

quenrix_host_header_library(CLI11::CLI11 CLI)
quenrix_host_header_library(nlohmann_json::nlohmann_json nlohmann)
quenrix_host_header_library(xxhash::header xxhash.h)
