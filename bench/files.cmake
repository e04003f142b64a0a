# Open and Save of a 10 MiB source file; what sets the limits of Open.
add_executable(bench_files bench_files.cpp)
target_include_directories(bench_files PRIVATE ${PROJECT_SOURCE_DIR}/tests)
find_package(Qt6 REQUIRED COMPONENTS Test)
target_link_libraries(bench_files PRIVATE vornex_editor benchmark::benchmark Qt6::Test
  vornex_compile_options)
