# saffron_layer_view(<target> <header>...): gives <target> a private include
# folder that holds only the headers it may use, as symlinks laid out like
# saffron/ ("part/Header.h"), plus libapi.h or platform_clock.h when named.
# An #include in the wrong direction then fails to compile: the header is
# simply not there. The folder is rebuilt at every configure, and the callers
# glob with CONFIGURE_DEPENDS, so a header someone adds is picked up.
function(saffron_layer_view target)
  saffron_layer_dir(${target} ${ARGN})
  target_include_directories(${target} PRIVATE ${CMAKE_BINARY_DIR}/layers/${target})
endfunction()

# saffron_layer_dir(<name> <header>...): the folder itself, build/layers/<name>.
function(saffron_layer_dir name)
  set(view ${CMAKE_BINARY_DIR}/layers/${name})
  file(REMOVE_RECURSE ${view})
  file(MAKE_DIRECTORY ${view})
  foreach(header IN LISTS ARGN)
    if(header MATCHES "^${SAFFRON_DIR}/")
      file(RELATIVE_PATH rel ${SAFFRON_DIR} ${header})
    else()
      get_filename_component(rel ${header} NAME)
    endif()
    get_filename_component(dir ${view}/${rel} DIRECTORY)
    file(MAKE_DIRECTORY ${dir})
    file(CREATE_LINK ${header} ${view}/${rel} SYMBOLIC)
  endforeach()
endfunction()

# saffron_part(<target> SOURCES <files>... LINKS <targets>... VIEW <headers>...):
# one part of saffron as a static library. A part without sources yet (a folder
# still empty) becomes an interface library, so the targets above it need not
# know.
function(saffron_part target)
  cmake_parse_arguments(PART "" "" "SOURCES;LINKS;VIEW" ${ARGN})
  if(PART_SOURCES)
    add_library(${target} STATIC ${PART_SOURCES})
    target_link_libraries(${target} PUBLIC ${PART_LINKS})
    saffron_layer_view(${target} ${PART_VIEW})
  else()
    add_library(${target} INTERFACE)
    target_link_libraries(${target} INTERFACE ${PART_LINKS})
  endif()
endfunction()
