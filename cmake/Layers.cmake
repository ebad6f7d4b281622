# The library's layers include only downward: an edition folder (current/,
# earlier/) on top, then component/, classify/, http/, support/. A source
# that includes a header of a layer above its own stops the configuration.
set(quarvel_layers_above_support classify http component current earlier)
set(quarvel_layers_above_http classify component current earlier)
set(quarvel_layers_above_classify component current earlier)
set(quarvel_layers_above_component current earlier)
foreach(layer support http classify component)
  file(GLOB sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${layer}/*.cpp
       ${PROJECT_SOURCE_DIR}/${layer}/*.h ${PROJECT_SOURCE_DIR}/${layer}/*.c)
  string(REPLACE ";" "|" above "${quarvel_layers_above_${layer}}")
  foreach(source ${sources})
    file(STRINGS ${source} upward REGEX "^#include \"(${above})/")
    if(upward)
      message(FATAL_ERROR "${source} (${layer}/) includes from a layer above it: ${upward}")
    endif()
  endforeach()
endforeach()
