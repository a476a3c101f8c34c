# Installs beside the programs the DLLs that they and the plugins name, found in FOLDERS, with
# the DLLs those name in turn; the system's own (KERNEL32.dll and the like) are found nowhere
# there and stay out. Run at install time (install(CODE)) with OBJDUMP, MODULES and FOLDERS set.
# Names are looked up as the programs spell them: CMake's own lookup folds them to lower case,
# which a Linux file system does not match.
function(deploy_dlls_of module)
  execute_process(COMMAND "${OBJDUMP}" -p "${module}" OUTPUT_VARIABLE dump RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${OBJDUMP} cannot read ${module}")
  endif()
  string(REGEX MATCHALL "DLL Name: [^\r\n]+" lines "${dump}")
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "^DLL Name: " "" dll "${line}")
    get_property(deployed GLOBAL PROPERTY telmira_deployed_dlls)
    list(FIND deployed "${dll}" at)
    if(at GREATER -1)
      continue()
    endif()
    foreach(folder IN LISTS FOLDERS)
      if(EXISTS "${folder}/${dll}")
        set_property(GLOBAL APPEND PROPERTY telmira_deployed_dlls "${dll}")
        file(INSTALL "${folder}/${dll}" DESTINATION "${CMAKE_INSTALL_PREFIX}")
        deploy_dlls_of("${folder}/${dll}")
        break()
      endif()
    endforeach()
  endforeach()
endfunction()

foreach(module IN LISTS MODULES)
  deploy_dlls_of("${module}")
endforeach()
