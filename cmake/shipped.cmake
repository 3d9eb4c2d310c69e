# The Windows test tree runs the shipped stub and plug-in, built for size in
# their own tree (VELM_SHIPPED_DIR, with the win32 thread-model compiler that
# GoogleTest cannot use), in place of its own: building `launcher` or `yz1`
# here builds that tree and copies the file into this tree's bin/.
if(NOT EXISTS ${VELM_SHIPPED_DIR}/CMakeCache.txt)
  message(FATAL_ERROR "VELM_SHIPPED_DIR ${VELM_SHIPPED_DIR} is no configured build tree (make configures it)")
endif()
# One build of the shipped tree for both parts: two at once would race in it.
add_custom_target(shipped_parts COMMAND ${CMAKE_COMMAND} --build ${VELM_SHIPPED_DIR} USES_TERMINAL)

# velm_shipped_copy(TARGET FILE): TARGET copies the shipped tree's FILE here.
function(velm_shipped_copy name file)
  add_custom_target(${name} ALL
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/bin
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${VELM_SHIPPED_DIR}/bin/${file} ${CMAKE_BINARY_DIR}/bin/${file})
  add_dependencies(${name} shipped_parts)
endfunction()
