// keyforge: makes the RSA key and the self-signed application-instance
// certificate that the server uses for its encrypted endpoints.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "certificate.h"
#include "messages.h"
#include "options.h"
#include "output.h"
#include "platform/platform.h"
#include "settings.h"

namespace {

using namespace virk::keyforge;

constexpr int kSuccess = 0;
constexpr int kFailure = -1;

void PrintOut(const std::string& text) {
  std::fputs(text.c_str(), stdout);
  std::fflush(stdout);
}

// Key and certificate through the intermediates into the two result files;
// the intermediates are removed whatever happens.
int MakeCertificateFiles(const Options& options, const CertificateSettings& settings,
                         const std::string& profileFolder) {
  PkeyPtr key = GenerateRsaKey(settings.keyBits);
  if (!key) {
    ReportFailure("Не удалось создать ключ RSA длиной " + std::to_string(settings.keyBits) +
                  " бит");
    return kFailure;
  }
  std::string failure;
  X509Ptr certificate = BuildCertificate(options, settings, key.get(), failure);
  if (!certificate) {
    ReportFailure(failure);
    return kFailure;
  }
  IntermediateFiles intermediates(profileFolder);
  int result = kSuccess;
  if (!WriteCertificateFiles(key.get(), certificate.get(), intermediates,
                             options.certificateFolder, options.keyFolder, failure)) {
    ReportFailure(failure);
    result = kFailure;
  }
  std::string error;
  if (!intermediates.Remove(error)) {
    // A private key left behind unencrypted must not pass unnoticed.
    ReportFailure("Не удалось удалить временный файл " + error);
    result = kFailure;
  }
  return result;
}

int Run(const std::vector<std::string>& arguments) {
  if (arguments.empty()) {
    PrintOut(std::string(kMissingOptionsMessage) + HelpText());
    return kSuccess;
  }
  Options options = ParseArguments(arguments);
  if (options.help) {
    PrintOut(HelpText());
    return kSuccess;
  }
  if (!HasRequiredOptions(options)) {
    PrintOut(std::string(kMissingOptionsMessage) + HelpText());
    return kFailure;
  }
  CertificateSettings settings;
  const std::string invalid = ReadCertificateSettings(options, settings);
  if (!invalid.empty()) {
    ReportFailure(invalid);
    return kFailure;
  }
  const std::optional<std::string> profileFolder = virk::platform::ProfileFolder();
  if (!profileFolder || profileFolder->empty()) {
    ReportFailure("Не задана папка профиля пользователя: нет переменных окружения USERPROFILE и HOME");
    return kFailure;
  }
  FillBlankNameValues(options);
  return MakeCertificateFiles(options, settings, *profileFolder);
}

}  // namespace

int main(int argc, char* argv[]) {
  virk::platform::UseUtf8Console();
  try {
    std::vector<std::string> arguments = virk::platform::CommandLineArguments(argc, argv);
    if (!arguments.empty()) arguments.erase(arguments.begin());  // the program's own name
    return Run(arguments);
  } catch (const std::exception& exception) {
    ReportFailure(std::string("Ошибка: ") + exception.what());
    return kFailure;
  }
}
