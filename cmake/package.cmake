# The release zip: `cmake --build --preset windows --target package` writes
# pelkorn-remote-control-<major>.<minor>-win32.zip (win64 for the windows64 preset) into the
# build folder: the three programs as built, the sample recording samples/remote-keys.ir (as
# remote-keys.ir, for trying ir-monitor before wiring anything), README.txt for Windows users
# (the 64-bit twin's says which Windows its programs need) and SHA256SUMS.txt.
#
# The zip must come out byte for byte the same from any clone, folder, builder, time zone and
# umask, so that anyone can rebuild it and compare.  Neither of CMake's own archivers can
# promise that in CMake 3.25: `cmake -E tar --format=zip` writes each file's owner uid/gid (the
# builder's, for files the build made) into every entry (the "ux" extra field), the Unix modes
# as the umask left them and DOS times in the local time zone; CPack does the same and takes
# the files' times from its staging folder.
# So package/make_zip.py writes it with Python's zipfile, every field fixed.  Not part of ALL:
# the ordinary build never waits for it, and it builds only the three programs it holds.  The
# sample is taken as it is at build time, so a new recording is packaged without a change here.

find_package(Python3 3.7 COMPONENTS Interpreter)

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(package_platform win64)
else()
    set(package_platform win32)
endif()
set(package_name pelkorn-remote-control-${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}-${package_platform})
set(package_zip ${CMAKE_BINARY_DIR}/${package_name}.zip)
# The date every entry carries (no zone: zip stores a plain date and time).
set(package_date 2026-12-08T00:00:00)
set(package_programs remote-control ir-monitor remote-send)
set(package_sample ${CMAKE_SOURCE_DIR}/samples/remote-keys.ir)

if(Python3_Interpreter_FOUND)
    set(package_files)
    foreach(program ${package_programs})
        list(APPEND package_files $<TARGET_FILE:${program}>)
    endforeach()
    add_custom_command(OUTPUT ${package_zip}
        COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/package/make_zip.py
            --date ${package_date} --platform ${package_platform}
            --readme ${CMAKE_SOURCE_DIR}/package/README.txt --sample ${package_sample}
            ${package_zip} ${package_files}
        DEPENDS ${package_programs} ${CMAKE_SOURCE_DIR}/package/make_zip.py
            ${CMAKE_SOURCE_DIR}/package/README.txt ${package_sample}
        COMMENT "Writing ${package_name}.zip"
        VERBATIM)
    add_custom_target(package DEPENDS ${package_zip})
else()
    add_custom_target(package
        COMMAND ${CMAKE_COMMAND} -E echo "package: Python 3 is needed to write ${package_name}.zip"
        COMMAND ${CMAKE_COMMAND} -E false
        VERBATIM)
endif()
