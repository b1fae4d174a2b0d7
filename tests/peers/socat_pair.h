// A serial line made of two pseudo-terminals joined by socat: what is
// written on one end is read on the other.
#pragma once

#include <string>

#include "child_process.h"

namespace virk::test {

class SocatPair {
 public:
  SocatPair();
  ~SocatPair();

  // Starts socat and waits (at most 5 s) until both ends exist.
  bool Start();
  // Ends socat; the ends disappear.
  void Stop();
  // Links to the two ends, in a folder of this pair's own.
  const std::string& EndA() const { return m_EndA; }
  const std::string& EndB() const { return m_EndB; }
  const std::string& Folder() const { return m_Folder; }
  // A COM template whose port number 1 names end A ("<folder>/A%d" style).
  std::string ComTemplateForEndA() const;
  pid_t Pid() const { return m_Socat.Pid(); }

 private:
  std::string m_Folder;
  std::string m_EndA;
  std::string m_EndB;
  ChildProcess m_Socat;
};

}  // namespace virk::test
