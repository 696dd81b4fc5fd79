#pragma once
// Files of the tests: a whole file read, and a file in a folder the environment names.
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

// The file's bytes; "" when it cannot be read.
inline std::string ReadWholeFile(const std::string& Path) {
    std::ifstream f(Path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

// Name in the folder that the environment variable holds ("." when it is not set).
inline std::string EnvPath(const char* Variable, const std::string& Name) {
    const char* dir = std::getenv(Variable);
    return std::string(dir ? dir : ".") + "\\" + Name;
}
