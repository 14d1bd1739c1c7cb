# The executable's icon, drawn at each size from vantrel.svg (librsvg's rsvg-convert) and packed
# as 32-bit icons (icoutils' icotool): no hand-made binary in the repository.
find_program(FX_RSVG_CONVERT rsvg-convert REQUIRED)
find_program(FX_ICOTOOL icotool REQUIRED)

set(FX_RESOURCE_FOLDER ${PROJECT_BINARY_DIR}/resources)
set(FX_RESOURCE_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/vantrel.rc)
set(FX_ICON_SOURCE ${CMAKE_CURRENT_LIST_DIR}/vantrel.svg)
set(icons)
set(commands)
foreach(size 16 32 48)
    list(APPEND icons ${FX_RESOURCE_FOLDER}/icon${size}.png)
    list(APPEND commands COMMAND ${FX_RSVG_CONVERT} -w ${size} -h ${size} ${FX_ICON_SOURCE}
        -o ${FX_RESOURCE_FOLDER}/icon${size}.png)
endforeach()
add_custom_command(OUTPUT ${FX_RESOURCE_FOLDER}/vantrel.ico
    COMMAND ${CMAKE_COMMAND} -E make_directory ${FX_RESOURCE_FOLDER}
    ${commands}
    COMMAND ${FX_ICOTOOL} -c -o ${FX_RESOURCE_FOLDER}/vantrel.ico ${icons}
    DEPENDS ${FX_ICON_SOURCE}
    COMMENT "Drawing the program's icon"
    VERBATIM)
# windres looks for the icon in its include folders.
set_source_files_properties(${FX_RESOURCE_SCRIPT} PROPERTIES OBJECT_DEPENDS ${FX_RESOURCE_FOLDER}/vantrel.ico)
