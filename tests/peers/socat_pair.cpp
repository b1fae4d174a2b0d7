#include "socat_pair.h"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

namespace virk::test {

SocatPair::SocatPair() {
  char folder[] = "/tmp/virk-socat-XXXXXX";
  if (mkdtemp(folder)) m_Folder = folder;
  // End A is "tty1" so that COM port 1 maps onto it through "<folder>/tty%d".
  m_EndA = m_Folder + "/tty1";
  m_EndB = m_Folder + "/peer";
}

SocatPair::~SocatPair() {
  Stop();
  if (!m_Folder.empty()) rmdir(m_Folder.c_str());
}

std::string SocatPair::ComTemplateForEndA() const { return m_Folder + "/tty%d"; }

bool SocatPair::Start() {
  if (m_Folder.empty()) return false;
  if (!m_Socat.Start({"socat", "-d", "-d", "pty,raw,echo=0,link=" + m_EndA,
                      "pty,raw,echo=0,link=" + m_EndB}))
    return false;
  struct stat info;
  for (int round = 0; round < 500; ++round) {
    if (stat(m_EndA.c_str(), &info) == 0 && stat(m_EndB.c_str(), &info) == 0) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  Stop();
  return false;
}

void SocatPair::Stop() {
  m_Socat.Stop();
  // socat removes its links on SIGTERM; make sure none is left for the next start.
  unlink(m_EndA.c_str());
  unlink(m_EndB.c_str());
}

}  // namespace virk::test
