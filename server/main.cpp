#include "server/startup.h"

int main(int argc, char** argv) { return virk::server::RunServer(argc, argv); }
