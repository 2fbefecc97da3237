# The picture libraries the core decodes and encodes with: libjpeg, libpng, zlib, libtiff,
# giflib and ISA-L's deflate and inflate (Debian: libisal-dev), as one interface target,
# vm_picture_libraries. Programs link the system's shared libraries, so that a fix to one of them
# reaches ours with the distribution's update.
#
# With VM_STATIC_RENDERER (off by default, and never for a package), a target that links the core
# and sets the property VM_STATIC_PICTURE_LIBRARIES gets them from their static archives instead,
# together with the C++ runtime (see vm_link_pictures_statically). A short-lived process such as
# the command-line renderer then maps six shared objects instead of eighteen: about 3 ms
# of each start on a virtual machine, where every page of a mapped library costs a fault. Without
# every archive (or with sanitizers, which must see the C++ runtime's allocations) all targets
# link the shared libraries.
option(VM_STATIC_RENDERER
    "Link vistamaze-render with the picture libraries' static archives (a faster start; not for packages)" OFF)

find_package(JPEG REQUIRED)
find_package(PNG REQUIRED)
find_package(TIFF REQUIRED)
find_package(GIF REQUIRED)
find_package(ZLIB REQUIRED)
find_path(VM_ISAL_INCLUDE_DIR isa-l/igzip_lib.h REQUIRED)
find_library(VM_ISAL_LIBRARY isal REQUIRED)

# libtiff's archive needs the codecs Debian builds it with: their archives, but JBIG-KIT (GPL)
# stays a shared library, so that no GPL code is copied into our programs.
set(_vm_archives tiff webp zstd lzma Lerc deflate jpeg png16 gif z)
find_library(VM_JBIG_LIBRARY NAMES libjbig.so jbig)
set(VM_STATIC_PICTURE_ARCHIVES "")
set(_vm_static_possible ${VM_STATIC_RENDERER})
if(VM_SANITIZE OR VM_FUZZ)
    set(_vm_static_possible OFF)
endif()
foreach(_vm_name IN LISTS _vm_archives)
    find_library(VM_ARCHIVE_${_vm_name} NAMES lib${_vm_name}.a)
    if(NOT VM_ARCHIVE_${_vm_name})
        set(_vm_static_possible OFF)
    endif()
    list(APPEND VM_STATIC_PICTURE_ARCHIVES ${VM_ARCHIVE_${_vm_name}})
endforeach()
if(NOT VM_JBIG_LIBRARY)
    set(_vm_static_possible OFF)
endif()
if(VM_STATIC_RENDERER AND NOT _vm_static_possible)
    message(WARNING "VM_STATIC_RENDERER: the picture libraries' archives are missing (or sanitizers are on); "
                    "vistamaze-render links the shared libraries")
endif()
set(VM_STATIC_PICTURES_POSSIBLE ${_vm_static_possible} CACHE INTERNAL "")

add_library(vm_picture_libraries INTERFACE)
# ISA-L comes only as a shared library.
target_include_directories(vm_picture_libraries SYSTEM INTERFACE ${VM_ISAL_INCLUDE_DIR})
target_link_libraries(vm_picture_libraries INTERFACE ${VM_ISAL_LIBRARY})
set(_vm_shared JPEG::JPEG PNG::PNG TIFF::TIFF GIF::GIF ZLIB::ZLIB)
if(VM_STATIC_PICTURES_POSSIBLE)
    # Evaluated for the target being linked, not for the library that asks for the pictures.
    set(_vm_static "$<BOOL:$<TARGET_PROPERTY:VM_STATIC_PICTURE_LIBRARIES>>")
    foreach(_vm_target IN LISTS _vm_shared)
        target_include_directories(vm_picture_libraries SYSTEM INTERFACE
            $<TARGET_PROPERTY:${_vm_target},INTERFACE_INCLUDE_DIRECTORIES>)
    endforeach()
    target_link_libraries(vm_picture_libraries INTERFACE
        "$<${_vm_static}:${VM_STATIC_PICTURE_ARCHIVES};${VM_JBIG_LIBRARY};m;Threads::Threads>"
        "$<$<NOT:${_vm_static}>:${_vm_shared}>")
else()
    target_link_libraries(vm_picture_libraries INTERFACE ${_vm_shared})
endif()

# Links `target` (an executable) with the picture libraries' archives and the static C++ runtime,
# when VM_STATIC_RENDERER asks for it and that is possible.
function(vm_link_pictures_statically target)
    if(VM_STATIC_PICTURES_POSSIBLE)
        set_target_properties(${target} PROPERTIES VM_STATIC_PICTURE_LIBRARIES ON)
        target_link_options(${target} PRIVATE -static-libstdc++ -static-libgcc)
    endif()
endfunction()
