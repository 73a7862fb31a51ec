# Empties the folders where the fuzz targets' short ctest runs put what they
# find: cmake -DFOUND=folder -DTARGETS=a,b -P ResetFound.cmake
file(REMOVE_RECURSE ${FOUND})
string(REPLACE "," ";" targets "${TARGETS}")
foreach(target IN LISTS targets)
  file(MAKE_DIRECTORY ${FOUND}/${target})
endforeach()
