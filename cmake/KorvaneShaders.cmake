# Generates a Qt resource file listing every GLSL source under glshaders/,
# so the shaders are compiled into the library under ":/korvane/glshaders/".
function(korvane_shader_resources out_var)
  file(GLOB shader_files CONFIGURE_DEPENDS
    ${CMAKE_SOURCE_DIR}/glshaders/*.vert ${CMAKE_SOURCE_DIR}/glshaders/*.frag ${CMAKE_SOURCE_DIR}/glshaders/*.glsl)
  set(qrc "${CMAKE_BINARY_DIR}/korvane_glshaders.qrc")
  set(body "<RCC>\n  <qresource prefix=\"/korvane/glshaders\">\n")
  foreach(f ${shader_files})
    get_filename_component(name ${f} NAME)
    string(APPEND body "    <file alias=\"${name}\">${f}</file>\n")
  endforeach()
  string(APPEND body "  </qresource>\n</RCC>\n")
  file(GENERATE OUTPUT ${qrc} CONTENT "${body}")
  set(${out_var} ${qrc} PARENT_SCOPE)
endfunction()
