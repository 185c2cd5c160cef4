# PNG sizes rendered from the SVG icons at build time (rsvg-convert), for the
# installed hicolor theme and for the icons compiled into the programs.
find_program(RSVG_CONVERT rsvg-convert REQUIRED)

# velmora_render_icon(SVG NAME OUT_DIR SIZES... ) sets VELMORA_RENDERED to the PNGs,
# OUT_DIR/SIZE/NAME.png.
function(velmora_render_icon svg name out_dir)
  set(pngs)
  foreach(size ${ARGN})
    set(png ${out_dir}/${size}/${name}.png)
    add_custom_command(OUTPUT ${png}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${out_dir}/${size}
      COMMAND ${RSVG_CONVERT} -w ${size} -h ${size} -o ${png} ${svg}
      DEPENDS ${svg} VERBATIM)
    list(APPEND pngs ${png})
  endforeach()
  set(VELMORA_RENDERED ${pngs} PARENT_SCOPE)
endfunction()
