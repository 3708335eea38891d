add_dependencies(${TARGET} hello_window)
