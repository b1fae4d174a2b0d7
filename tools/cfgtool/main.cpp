// cfgtool: configuration files on machines without the configurator.
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "commands.h"
#include "platform/platform.h"

namespace {

const char kUsage[] =
    "usage: cfgtool unpack X.cfg X.txt   write the unscrambled text of a .cfg file\n"
    "       cfgtool pack X.txt X.cfg     scramble a plain text into a .cfg file\n"
    "       cfgtool check FILE           load a .cfg (scrambled) or plain file and report\n"
    "                                    every record error; exit code 0 only when clean\n";

}  // namespace

int main(int argc, char** argv) {
  virk::platform::UseUtf8Console();
  const std::vector<std::string> args = virk::platform::CommandLineArguments(argc, argv);
  const size_t count = args.size();
  const std::string command = count > 1 ? args[1] : "";
  if (count == 4 && command == "unpack") return virk::cfgtool::Unpack(args[2], args[3], std::cerr);
  if (count == 4 && command == "pack") return virk::cfgtool::Pack(args[2], args[3], std::cerr);
  if (count == 3 && command == "check") return virk::cfgtool::Check(args[2], std::cout);
  const bool help = count == 2 && (command == "-h" || command == "--help" || command == "help");
  (help ? std::cout : std::cerr) << kUsage;
  return help ? 0 : 2;
}
