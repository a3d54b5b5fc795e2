# Writes one demo download file of recognisable text: a title line, then
# numbered 64-byte lines up to the size asked for, so that a received image is
# easy to compare and a piece of it easy to place.
#   cmake -DOUTPUT=<file> -DTITLE=<text> -DSIZE=<bytes> -P MakeDemoFile.cmake
foreach(required OUTPUT TITLE SIZE)
  if(NOT DEFINED ${required})
    message(FATAL_ERROR "MakeDemoFile.cmake needs -D${required}=...")
  endif()
endforeach()

set(line_length 64)
math(EXPR line_count "${SIZE} / ${line_length}")
math(EXPR last "${line_count} - 1")

set(content "")
foreach(index RANGE 0 ${last})
  if(index EQUAL 0)
    set(text "${TITLE}")
  else()
    math(EXPR offset "${index} * ${line_length}")
    math(EXPR hex_offset "${offset}" OUTPUT_FORMAT HEXADECIMAL)
    set(text "${TITLE} line ${index} of ${last} at ${hex_offset}")
  endif()
  # Pad to one line less its line end; a title too long is cut.
  string(LENGTH "${text}" length)
  math(EXPR pad "${line_length} - 1 - ${length}")
  if(pad GREATER 0)
    string(REPEAT "." ${pad} dots)
    string(APPEND text "${dots}")
  elseif(pad LESS 0)
    math(EXPR keep "${line_length} - 1")
    string(SUBSTRING "${text}" 0 ${keep} text)
  endif()
  string(APPEND content "${text}\n")
endforeach()

get_filename_component(folder "${OUTPUT}" DIRECTORY)
file(MAKE_DIRECTORY "${folder}")
# Written beside and renamed, so an interrupted build leaves no half file.
file(WRITE "${OUTPUT}.part" "${content}")
file(RENAME "${OUTPUT}.part" "${OUTPUT}")
