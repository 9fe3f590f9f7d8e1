# The Debian packages, made by CPack from the install components of cmake/VantryInstall.cmake:
#   lanternfold     the harvester, its systemd unit and lanternfold(8)
#   vantry-get      the fetch program and vantry-get(1)
#   libvantry-dev   the static library, headers, CMake package and vantry.pc
# The programs' Depends come from dpkg-shlibdeps (the run-time libraries they link); the library's
# Depends are the development packages that own the libraries it links, found with dpkg-query.

# vantry_dev_depends(OUT): the -dev packages of every library file that linking libvantry.a needs.
function(vantry_dev_depends _out)
  set(_files)
  get_target_property(_links vantry INTERFACE_LINK_LIBRARIES)
  foreach(_item IN LISTS _links)
    # Build-interface paths stand as $<BUILD_INTERFACE:path>; install-interface names are skipped.
    if(_item MATCHES "^\\$<BUILD_INTERFACE:(.*)>$")
      set(_item "${CMAKE_MATCH_1}")
    elseif(_item MATCHES "^\\$<")
      continue()
    endif()
    if(IS_ABSOLUTE "${_item}")
      list(APPEND _files "${_item}")
    elseif(TARGET "${_item}")
      foreach(_property IMPORTED_LOCATION IMPORTED_LOCATION_RELEASE INTERFACE_LINK_LIBRARIES)
        get_target_property(_value "${_item}" ${_property})
        foreach(_path IN LISTS _value)
          if(IS_ABSOLUTE "${_path}")
            list(APPEND _files "${_path}")
          endif()
        endforeach()
      endforeach()
    endif()
  endforeach()
  list(REMOVE_DUPLICATES _files)

  set(_packages)
  foreach(_file IN LISTS _files)
    set(_package)
    execute_process(COMMAND dpkg-query -S "${_file}" OUTPUT_VARIABLE _owner ERROR_QUIET
                    RESULT_VARIABLE _rc)
    if(_rc EQUAL 0 AND _owner MATCHES "^([a-z0-9][a-z0-9+.-]*)(:[a-z0-9]+)?: ")
      set(_package "${CMAKE_MATCH_1}")
    else()
      # Not from a package (or not a Debian system): the usual name of its development package.
      get_filename_component(_name "${_file}" NAME_WE)
      string(REGEX REPLACE "^lib" "" _name "${_name}")
      if(_name STREQUAL "ssl" OR _name STREQUAL "crypto")
        set(_package libssl-dev)
      else()
        set(_package "lib${_name}-dev")
      endif()
    endif()
    list(APPEND _packages "${_package}")
  endforeach()
  list(REMOVE_DUPLICATES _packages)
  list(SORT _packages)
  list(JOIN _packages ", " _joined)
  set(${_out} "${_joined}" PARENT_SCOPE)
endfunction()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME lanternfold)
set(CPACK_PACKAGE_VERSION ${VANTRY_VERSION})
set(CPACK_PACKAGE_VENDOR "Lanternfold developers")
set(CPACK_PACKAGE_CONTACT "Lanternfold developers <lanternfold@localhost>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL ${VANTRY_COMPONENTS})

# Descriptions: a summary line, then the long text (CPack indents it for the control file).
set(CPACK_DEBIAN_HARVESTER_PACKAGE_NAME lanternfold)
set(CPACK_DEBIAN_HARVESTER_PACKAGE_SECTION net)
set(CPACK_DEBIAN_HARVESTER_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_HARVESTER_DESCRIPTION "unattended domain harvester
lanternfold collects host names from the web for weeks without attention: it
fetches seed pages, crawls sites with its own spider, follows the links that
leave each site and walks reverse-DNS neighbourhoods, appending every new host
name to /var/lib/tidewell/domains.txt.
.
The package holds the program, its manual page and the hardened systemd unit
lanternfold.service, which is installed but neither enabled nor started.")
# The unit is installed for systemd; it is stopped before the program goes away.
set(CPACK_DEBIAN_HARVESTER_PACKAGE_CONTROL_EXTRA
    ${CMAKE_SOURCE_DIR}/packaging/debian/postinst ${CMAKE_SOURCE_DIR}/packaging/debian/prerm
    ${CMAKE_SOURCE_DIR}/packaging/debian/postrm)
set(CPACK_DEBIAN_HARVESTER_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_FETCH_PACKAGE_NAME vantry-get)
set(CPACK_DEBIAN_FETCH_PACKAGE_SECTION web)
set(CPACK_DEBIAN_FETCH_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_FETCH_DESCRIPTION "fetch URLs over HTTP/1.1 with the Vantry library
vantry-get fetches http: and https: URLs with the Vantry web client library,
in the manner of curl and wget: the body to standard output or to a file that
appears only when complete, with keep-alive, redirects, gzip, an optional HTTP
cache and cookie store, and curl's exit codes.")

vantry_dev_depends(VANTRY_DEV_DEPENDS)
set(CPACK_DEBIAN_DEV_PACKAGE_NAME libvantry-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_PACKAGE_SHLIBDEPS OFF)
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "${VANTRY_DEV_DEPENDS}")
set(CPACK_DEBIAN_DEV_PACKAGE_SUGGESTS "cmake, pkg-config")
set(CPACK_DEBIAN_DEV_DESCRIPTION "Vantry C++20 web client library (static library and headers)
Vantry is a web client library for C++20 programs on Linux: sockets with
time-outs, TLS through OpenSSL, an HTTP/1.1 GET engine with keep-alive
pooling, redirects, chunked and gzip bodies, an on-disk HTTP cache, cookies,
HTTP dates, charset conversion and an HTML tag scanner.
.
The package holds the static library libvantry.a, its headers under
/usr/include/vantry, the CMake package (find_package(Vantry), target
Vantry::vantry) and the pkg-config file vantry.pc.")
include(CPack)
