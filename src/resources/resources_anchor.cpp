// Holds the carried data (see CMakeLists.txt); no code of its own.
