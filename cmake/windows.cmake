# The Windows program: one self-contained console executable with its icon,
# version information and manifest, and a ZIP that holds it with the README.
# Included from the top-level CMakeLists.txt when building for Windows.

enable_language(RC)

set(TEXTMORPH_RES_DIR ${CMAKE_CURRENT_SOURCE_DIR}/res)
configure_file(${TEXTMORPH_RES_DIR}/textmorph.rc.in
               ${CMAKE_CURRENT_BINARY_DIR}/textmorph.rc @ONLY)
target_sources(textmorph PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/textmorph.rc)
set_property(SOURCE ${CMAKE_CURRENT_BINARY_DIR}/textmorph.rc APPEND PROPERTY
             OBJECT_DEPENDS ${TEXTMORPH_RES_DIR}/textmorph.ico
                            ${TEXTMORPH_RES_DIR}/textmorph.manifest)

# Users copy the .exe alone: no libstdc++, libgcc or winpthread DLL beside it.
# Console subsystem: the console appears while it runs and shows nothing.
target_link_options(textmorph PRIVATE -static -mconsole
                    $<$<CONFIG:Release,MinSizeRel>:-s>)

# Let the C runtime expand * and ? in arguments into the matching file names,
# as the Windows shells leave that to each program. mingw-w64 ships the switch
# as an object that sets _dowildcard.
execute_process(
  COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=CRT_glob.o
  OUTPUT_VARIABLE TEXTMORPH_CRT_GLOB
  OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT IS_ABSOLUTE "${TEXTMORPH_CRT_GLOB}" OR NOT EXISTS "${TEXTMORPH_CRT_GLOB}")
  message(FATAL_ERROR "mingw-w64's CRT_glob.o was not found; "
                      "${CMAKE_CXX_COMPILER} gave '${TEXTMORPH_CRT_GLOB}'")
endif()
target_link_libraries(textmorph PRIVATE ${TEXTMORPH_CRT_GLOB})

# cpack in the build folder gives textmorph-<version>-windows-x64.zip:
# textmorph.exe and README.txt at its top, to unzip into a folder of its own.
install(TARGETS textmorph RUNTIME DESTINATION .)
if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/README.md)
  install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/README.md DESTINATION .
          RENAME README.txt)
endif()
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME textmorph)
set(CPACK_PACKAGE_FILE_NAME textmorph-${PROJECT_VERSION}-windows-x64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
include(CPack)
