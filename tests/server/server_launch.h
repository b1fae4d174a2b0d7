// How the end-to-end tests run the server: the Linux build, or, with
// VIRK_WINE_SERVER naming server.exe (scripts/windows-tests.sh), the Windows
// build under Wine in the prefix WINEPREFIX names. Paths and COM ports are
// handed over as each program takes them.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "server/exchange/transport/com_path.h"
#include "socat_pair.h"

namespace virk::server::test {

class ServerLaunch {
 public:
  ServerLaunch() {
    const char* exe = std::getenv("VIRK_WINE_SERVER");
    const char* prefix = std::getenv("WINEPREFIX");
    if (exe != nullptr && *exe != '\0' && prefix != nullptr && *prefix != '\0') {
      m_WineServer = exe;
      m_WinePrefix = prefix;
    }
  }
  ~ServerLaunch() {
    if (!m_ComLink.empty()) unlink(m_ComLink.c_str());
  }
  ServerLaunch(const ServerLaunch&) = delete;
  ServerLaunch& operator=(const ServerLaunch&) = delete;

  bool UnderWine() const { return !m_WineServer.empty(); }
  std::string Program() const { return UnderWine() ? kWine : VIRK_SERVER_PROGRAM; }
  std::vector<std::string> Arguments(const std::string& configPath) const {
    if (!UnderWine()) return {configPath};
    return {m_WineServer, WindowsPath(configPath)};
  }
  std::vector<std::string> Environment() const {
    std::vector<std::string> entries = m_Environment;
    if (UnderWine())
      entries.insert(entries.end(), {"WINEPREFIX=" + m_WinePrefix, "WINEDEBUG=-all", "WINEDLLOVERRIDES=mscoree,mshtml="});
    return entries;
  }

  // Lets a COM port of the server lead to end A of `pair`: port 1 through
  // the name template on Linux, port 23 through a link in Wine's dosdevices
  // folder (removed again at the end). The port number, 0 on failure.
  unsigned MapComPortTo(const virk::test::SocatPair& pair) {
    if (!UnderWine()) {
      m_Environment.push_back(std::string(kComTemplateVariable) + "=" + pair.ComTemplateForEndA());
      return 1;
    }
    m_ComLink = m_WinePrefix + "/dosdevices/com" + std::to_string(kWineComPort);
    unlink(m_ComLink.c_str());
    return symlink(pair.EndA().c_str(), m_ComLink.c_str()) == 0 ? kWineComPort : 0;
  }

  // Wine shows the Linux root as drive Z:.
  static std::string WindowsPath(std::string path) {
    for (char& c : path)
      if (c == '/') c = '\\';
    return "Z:" + path;
  }

 private:
  static constexpr const char* kWine = "/usr/lib/wine/wine64";
  static constexpr unsigned kWineComPort = 23;
  std::string m_WineServer;
  std::string m_WinePrefix;
  std::string m_ComLink;
  std::vector<std::string> m_Environment;
};

}  // namespace virk::server::test
