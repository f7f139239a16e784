# velmor_strip_pe(INPUT OUTPUT): a copy of a PE executable without symbols or debug sections.
# strip would stamp the copy with the time it ran; it keeps the build's link time instead,
# so that stripping the same build twice gives the same bytes.
function(velmor_read_u32 file offset result)  # little-endian
  file(READ ${file} hex OFFSET ${offset} LIMIT 4 HEX)
  string(REGEX REPLACE "(..)(..)(..)(..)" "\\4\\3\\2\\1" hex "${hex}")
  math(EXPR value "0x${hex}")
  set(${result} ${value} PARENT_SCOPE)
endfunction()

function(velmor_strip_pe input output)
  velmor_read_u32(${input} 60 pe)
  math(EXPR stamp_at "${pe} + 8")
  velmor_read_u32(${input} ${stamp_at} stamp)
  set(ENV{SOURCE_DATE_EPOCH} ${stamp})
  execute_process(COMMAND i686-w64-mingw32-strip --strip-all -o ${output} ${input} RESULT_VARIABLE rc)
  unset(ENV{SOURCE_DATE_EPOCH})
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "cannot strip ${input}")
  endif()
endfunction()
