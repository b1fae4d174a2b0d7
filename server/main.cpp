#include "platform/platform.h"
#include "server/startup.h"

int main(int argc, char** argv) {
  virk::platform::UseUtf8Console();
  return virk::server::RunServer(argc, argv);
}
