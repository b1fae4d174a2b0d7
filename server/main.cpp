#include "platform/platform.h"
#include "server/startup.h"

#include <string>
#include <vector>

int main(int argc, char** argv) {
  virk::platform::UseUtf8Console();
  std::vector<std::string> arguments = virk::platform::CommandLineArguments(argc, argv);
  std::vector<char*> utf8Argv;
  for (std::string& argument : arguments) utf8Argv.push_back(argument.data());
  utf8Argv.push_back(nullptr);
  return virk::server::RunServer(int(arguments.size()), utf8Argv.data());
}
