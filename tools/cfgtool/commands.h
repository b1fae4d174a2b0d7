// The commands of cfgtool, callable from tests: each returns the exit code
// and writes what it has to say to `out`.
#pragma once

#include <ostream>
#include <string>

namespace virk::cfgtool {

// Scrambled .cfg -> plain text, byte for byte what the server decodes.
int Unpack(const std::string& cfgPath, const std::string& textPath, std::ostream& out);
// Plain text (CR LF taken as LF) -> scrambled .cfg.
int Pack(const std::string& textPath, const std::string& cfgPath, std::ostream& out);
// Loads a .cfg (scrambled) or any other file (plain) into a tree and reports
// every failed line as "FILE:LINE: message", then a summary line. 0 only when
// the file loads cleanly.
int Check(const std::string& path, std::ostream& out);

}  // namespace virk::cfgtool
