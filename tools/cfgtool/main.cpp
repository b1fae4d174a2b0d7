// cfgtool: configuration files on machines without the configurator.
#include <cstring>
#include <iostream>
#include <string>

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
  const std::string command = argc > 1 ? argv[1] : "";
  if (argc == 4 && command == "unpack") return virk::cfgtool::Unpack(argv[2], argv[3], std::cerr);
  if (argc == 4 && command == "pack") return virk::cfgtool::Pack(argv[2], argv[3], std::cerr);
  if (argc == 3 && command == "check") return virk::cfgtool::Check(argv[2], std::cout);
  const bool help = argc == 2 && (command == "-h" || command == "--help" || command == "help");
  (help ? std::cout : std::cerr) << kUsage;
  return help ? 0 : 2;
}
