# The HTTP client runs over libcurl.
find_package(CURL REQUIRED)
target_link_libraries(KelCore PRIVATE CURL::libcurl)
