// Linux passes the arguments and takes paths as the bytes they are: UTF-8.
#include "platform/platform.h"

namespace virk::platform {

std::vector<std::string> CommandLineArguments(int argc, char** argv) { return {argv, argv + argc}; }

std::FILE* OpenFile(const std::string& path, const char* mode) { return std::fopen(path.c_str(), mode); }

}  // namespace virk::platform
