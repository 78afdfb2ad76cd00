# cmake -DLIST=scripts/models.txt -DSOURCE=.models -DTARGET=bin/models -P CopyModels.cmake
# Copies every model the set-up list names into the folder beside the executables, and stops
# the build with a clear message when one was never fetched.
file(STRINGS ${LIST} lines)
foreach(line ${lines})
  if(line MATCHES "^[ \t]*(#|$)")
    continue()
  endif()
  string(REGEX MATCH "^[^ \t]+" name "${line}")
  if(NOT EXISTS ${SOURCE}/${name})
    message(FATAL_ERROR "Model ${name} is missing from ${SOURCE}: run scripts/setup first.")
  endif()
  file(COPY ${SOURCE}/${name} DESTINATION ${TARGET})
endforeach()
