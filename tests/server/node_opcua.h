// Runs a node-opcua script of this folder (installed into the build folder
// by the node_opcua_client target), each run bounded by `timeout`.
#pragma once

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace virk::server::test {

inline bool NodeOpcuaInstalled() {
  struct stat info;
  const std::string modules = std::string(VIRK_NODE_OPCUA_DIR) + "/node_modules/node-opcua-client/package.json";
  return stat(modules.c_str(), &info) == 0;
}

// The script's exit status; what it printed goes to `output` (through the
// file `outputPath`). `arguments` are passed to the shell as they stand.
inline int RunNodeScript(const std::string& script, const std::string& arguments, const std::string& outputPath,
                         std::string& output) {
  const std::string command = "NODE_PATH='" + std::string(VIRK_NODE_OPCUA_DIR) + "/node_modules' timeout 90 node '" +
                              VIRK_NODE_SCRIPTS_DIR + "/" + script + "' " + arguments + " > '" + outputPath + "' 2>&1";
  const int status = std::system(command.c_str());
  std::ifstream file(outputPath);
  std::stringstream text;
  text << file.rdbuf();
  output = text.str();
  return status;
}

}  // namespace virk::server::test
