# Generates the C lexer and parser of an ANTLR 3 grammar into the build folder at build time.
#   kxv_antlr3_generate(<grammar.g> <out-var>)
# Sets <out-var> to the generated .c files and adds their folder to <out-var>_INCLUDE_DIR.
# The generated .tokens file lands beside them, for tests that check the token numbering.
find_program(ANTLR3_TOOL antlr3 REQUIRED)
find_path(ANTLR3C_INCLUDE_DIR antlr3.h REQUIRED)
find_library(ANTLR3C_LIBRARY antlr3c REQUIRED)

function(kxv_antlr3_generate grammar outvar)
  get_filename_component(name ${grammar} NAME_WE)
  get_filename_component(src ${grammar} ABSOLUTE)
  get_filename_component(srcdir ${src} DIRECTORY)
  get_filename_component(srcname ${src} NAME)
  set(dir ${CMAKE_CURRENT_BINARY_DIR}/antlr3_${name})
  set(outputs ${dir}/${name}Lexer.c ${dir}/${name}Parser.c
              ${dir}/${name}Lexer.h ${dir}/${name}Parser.h ${dir}/${name}.tokens)
  add_custom_command(
    OUTPUT ${outputs}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
    # The 3.5 tool prints harmless template warnings for C targets; keep the build log clean.
    COMMAND sh -c "\"$0\" -o \"$1\" -fo \"$1\" \"$2\" > \"$1/antlr3.log\" 2>&1 || { cat \"$1/antlr3.log\"; exit 1; }"
            ${ANTLR3_TOOL} ${dir} ${srcname}
    # Run beside the grammar so that getGrammarFileName answers its bare name.
    WORKING_DIRECTORY ${srcdir}
    DEPENDS ${src}
    COMMENT "Generating the ${name} lexer and parser"
    VERBATIM)
  set_source_files_properties(${dir}/${name}Lexer.c ${dir}/${name}Parser.c PROPERTIES
    GENERATED TRUE
    # Generated code: its unused-variable and similar warnings are not ours to fix.
    COMPILE_OPTIONS "-w")
  set(${outvar} ${dir}/${name}Lexer.c ${dir}/${name}Parser.c PARENT_SCOPE)
  set(${outvar}_INCLUDE_DIR ${dir} PARENT_SCOPE)
  set(${outvar}_TOKENS ${dir}/${name}.tokens PARENT_SCOPE)
endfunction()
