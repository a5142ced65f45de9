# cmake -DBUILD_DIR=… -DSOURCE_DIR=… -DWORK_DIR=… -P RunConsumer.cmake
file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "failed: ${ARGN}\n${out}\n${err}")
  endif()
  set(last_output "${out}" PARENT_SCOPE)
endfunction()

run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})

# find_package(kxcore CONFIG)
run(${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${WORK_DIR}/cmake-build -G Ninja
    -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_BUILD_TYPE=Release)
run(${CMAKE_COMMAND} --build ${WORK_DIR}/cmake-build)
run(${WORK_DIR}/cmake-build/consumer)
if(NOT last_output MATCHES "consumer: 300x200, 5 blocks")
  message(FATAL_ERROR "unexpected output: ${last_output}")
endif()

# pkg-config --cflags --libs kxcore
set(ENV{PKG_CONFIG_PATH} "${prefix}/lib/pkgconfig:${prefix}/lib/x86_64-linux-gnu/pkgconfig")
run(pkg-config --cflags --libs kxcore)
separate_arguments(flags UNIX_COMMAND "${last_output}")
run(c++ -std=c++17 ${SOURCE_DIR}/main.cpp -o ${WORK_DIR}/consumer-pc ${flags}
    -Wl,-rpath,${prefix}/lib -Wl,-rpath,${prefix}/lib/x86_64-linux-gnu)
run(${WORK_DIR}/consumer-pc)
if(NOT last_output MATCHES "consumer: 300x200, 5 blocks")
  message(FATAL_ERROR "unexpected output from the pkg-config build: ${last_output}")
endif()

# The installed kximg finds the library relative to itself: moved to another
# prefix, with no library path set, it still converts a picture.
if(WITH_KXIMG)
  set(moved ${WORK_DIR}/moved-prefix)
  file(RENAME ${prefix} ${moved})
  file(WRITE ${WORK_DIR}/in.ppm "P3\n2 1\n255\n255 0 0  0 0 255\n")
  run(${CMAKE_COMMAND} -E env --unset=LD_LIBRARY_PATH ${moved}/bin/kximg convert ${WORK_DIR}/in.ppm
      ${WORK_DIR}/out.png)
  run(${CMAKE_COMMAND} -E env --unset=LD_LIBRARY_PATH ${moved}/bin/kximg info ${WORK_DIR}/out.png)
  if(NOT last_output MATCHES "size:    2 x 1")
    message(FATAL_ERROR "unexpected output from the installed kximg: ${last_output}")
  endif()
endif()
