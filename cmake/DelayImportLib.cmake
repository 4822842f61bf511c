# Makes an import library that binds DLL's functions at their first call instead of
# when the process starts (a delay-load import library), with every function the
# ordinary import library LIB names.
#   cmake -DNM=... -DDLLTOOL=... -DLIB=libx.a -DDLL=x.dll -DOUT=dir/libx.a -P DelayImportLib.cmake
execute_process(COMMAND ${NM} --defined-only ${LIB} OUTPUT_VARIABLE symbols COMMAND_ERROR_IS_FATAL ANY)
string(REGEX MATCHALL " I __imp_[A-Za-z0-9_@?$]+" imports "${symbols}")
list(TRANSFORM imports REPLACE " I __imp_" "")
list(REMOVE_DUPLICATES imports)
list(SORT imports)
list(JOIN imports "\n" exports)
get_filename_component(dir ${OUT} DIRECTORY)
file(WRITE ${dir}/${DLL}.def "LIBRARY ${DLL}\nEXPORTS\n${exports}\n")
execute_process(COMMAND ${DLLTOOL} --input-def ${dir}/${DLL}.def --dllname ${DLL}
                        --output-delaylib ${OUT} COMMAND_ERROR_IS_FATAL ANY)
