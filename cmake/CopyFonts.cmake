# Copies the fetched brand fonts and their licences beside the executable (nothing when absent).
file(GLOB fonts "${SRC}/*.ttf" "${SRC}/*.txt")
if(fonts)
    file(MAKE_DIRECTORY "${DST}")
    file(COPY ${fonts} DESTINATION "${DST}")
endif()
