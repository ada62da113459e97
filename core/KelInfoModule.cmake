# The foundation's version table carries the project's version.
target_compile_definitions(KelCore PRIVATE KEL_PROJECT_VERSION="${PROJECT_VERSION}")
