# How a Windows program or DLL of the suite is built: static runtime, no
# exceptions, small and stripped.
add_compile_definitions(_WIN32_WINNT=0x0501 WINVER=0x0501 WIN32_LEAN_AND_MEAN NOMINMAX)
add_compile_options($<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions> $<$<COMPILE_LANGUAGE:CXX>:-fno-rtti>
                    -ffunction-sections)
# No -fdata-sections: MinGW then puts zero-filled data into .data$ sections,
# which costs file size instead of .bss.
add_link_options(-static -static-libgcc $<$<LINK_LANGUAGE:CXX>:-static-libstdc++> -Wl,--gc-sections -s)

# GUI-subsystem program that creates no console.
function(tp_windows_program target)
  set_target_properties(${target} PROPERTIES WIN32_EXECUTABLE ON)
endfunction()

# The DLL name without the "lib" prefix CMake adds for MinGW.
function(tp_windows_dll target)
  set_target_properties(${target} PROPERTIES PREFIX "" IMPORT_PREFIX "")
endfunction()
