# Install-time steps: writes the files that name installed paths (the systemd unit, vantry.pc) for the prefix
# in force now, and the compressed manual pages. The variables come from the install(CODE) block that
# includes this script.
set(VANTRY_PREFIX "${CMAKE_INSTALL_PREFIX}")
set(VANTRY_INSTALL_BINDIR "${CMAKE_INSTALL_PREFIX}/${VANTRY_INSTALL_BINDIR_REL}")

# vantry_install_configured(FROM TO): FROM relative to the source tree, TO relative to the prefix.
function(vantry_install_configured _from _to)
  set(_to "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/${_to}")
  message(STATUS "Installing: ${_to}")
  configure_file("${VANTRY_SOURCE_DIR}/${_from}" "${_to}" @ONLY)
  list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${_to}")
  set(CMAKE_INSTALL_MANIFEST_FILES "${CMAKE_INSTALL_MANIFEST_FILES}" PARENT_SCOPE)
endfunction()

# vantry_install_man(PAGE DIR): PAGE compressed with gzip (no name or time stamp inside, so the result
# depends only on the page) into DIR relative to the prefix; copied as it is where gzip is missing.
function(vantry_install_man _page _dir)
  get_filename_component(_name "${_page}" NAME)
  set(_dir "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/${_dir}")
  file(MAKE_DIRECTORY "${_dir}")
  find_program(_gzip gzip)
  if(_gzip)
    set(_to "${_dir}/${_name}.gz")
    message(STATUS "Installing: ${_to}")
    execute_process(COMMAND "${_gzip}" -9 -n -c "${_page}" OUTPUT_FILE "${_to}" RESULT_VARIABLE _rc)
    if(NOT _rc EQUAL 0)
      message(FATAL_ERROR "gzip of ${_page} failed")
    endif()
    file(CHMOD "${_to}" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
  else()
    set(_to "${_dir}/${_name}")
    message(STATUS "Installing: ${_to}")
    file(COPY "${_page}" DESTINATION "${_dir}")
  endif()
  list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${_to}")
  set(CMAKE_INSTALL_MANIFEST_FILES "${CMAKE_INSTALL_MANIFEST_FILES}" PARENT_SCOPE)
endfunction()
