#include "keyforge_fixture.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>

namespace virk::keyforge::test {

namespace fs = std::filesystem;

namespace {

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

// Days from 1970-01-01 to a date of the Gregorian calendar.
long long DaysFromCivil(long long year, unsigned month, unsigned day) {
  year -= month <= 2;
  const long long era = (year >= 0 ? year : year - 399) / 400;
  const unsigned yearOfEra = unsigned(year - era * 400);
  const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

// "notBefore=Dec  7 20:31:23 2026 GMT" -> seconds since the epoch.
long long ParseOpenSslTime(const std::string& line) {
  static const char kMonths[] = "JanFebMarAprMayJunJulAugSepOctNovDec";
  const std::string value = line.substr(line.find('=') + 1);
  char month[4] = {};
  int day = 0, hour = 0, minute = 0, second = 0, year = 0;
  const char* found = nullptr;
  if (std::sscanf(value.c_str(), "%3s %d %d:%d:%d %d GMT", month, &day, &hour, &minute, &second, &year) != 6 ||
      std::strlen(month) != 3 || (found = std::strstr(kMonths, month)) == nullptr || (found - kMonths) % 3 != 0) {
    ADD_FAILURE() << "unreadable time: " << line;
    return 0;
  }
  const unsigned monthNumber = unsigned(found - kMonths) / 3 + 1;
  return DaysFromCivil(year, monthNumber, unsigned(day)) * 86400 + hour * 3600 + minute * 60 + second;
}

// A new folder of this user's under the temporary one.
std::string NewPrivateFolder() {
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const fs::path candidate = fs::temp_directory_path() / ("keyforge-test-" + std::to_string(random()));
    std::error_code error;
    if (fs::create_directory(candidate, error)) {
      fs::permissions(candidate, fs::perms::owner_all, error);
      return candidate.u8string();
    }
  }
  return {};
}

}  // namespace

std::string OpenSsl(const std::vector<std::string>& arguments) {
  const char* path = std::getenv("PATH");
  const ChildResult result =
      RunChild(OPENSSL_PROGRAM, arguments, {std::string("PATH=") + (path ? path : "/usr/bin")});
  EXPECT_EQ(result.exitCode, 0) << "openssl failed: " << result.err;
  return result.out;
}

void KeyforgeTest::SetUp() {
  m_Root = NewPrivateFolder();
  ASSERT_FALSE(m_Root.empty()) << "no temporary folder";
  fs::create_directories(PathOf(Home()));
  fs::create_directories(PathOf(Out()));
}

void KeyforgeTest::TearDown() {
  std::error_code ignored;
  fs::remove_all(PathOf(m_Root), ignored);
}

ChildResult KeyforgeTest::RunWithEnvironment(const std::vector<std::string>& arguments,
                                             const std::vector<std::string>& environment) {
  ChildResult result = RunChild(KEYFORGE_PROGRAM, arguments, environment);
  EXPECT_FALSE(result.timedOut) << "keyforge did not finish in time";
  return result;
}

ChildResult KeyforgeTest::Run(const std::vector<std::string>& arguments,
                              const std::vector<std::string>& extraEnvironment) {
  std::vector<std::string> environment{"HOME=" + Home(), "PATH=/usr/bin:/bin"};
  environment.insert(environment.end(), extraEnvironment.begin(), extraEnvironment.end());
  return RunWithEnvironment(arguments, environment);
}

std::vector<std::string> KeyforgeTest::CompleteArguments() const {
  return {"-CN=Name",   "-O=Org",      "-DNS=a.example", "-size=1024",
          "-alg=Sha256", "-val=365",   "-der=" + Out(),  "-pem=" + Out()};
}

std::vector<std::string> KeyforgeTest::Without(const std::string& prefix) const {
  std::vector<std::string> arguments;
  for (const std::string& argument : CompleteArguments())
    if (!StartsWith(argument, prefix)) arguments.push_back(argument);
  return arguments;
}

std::vector<std::string> KeyforgeTest::With(const std::string& prefix,
                                            const std::string& value) const {
  std::vector<std::string> arguments = Without(prefix);
  arguments.push_back(prefix + value);
  return arguments;
}

std::string KeyforgeTest::CertificateQuery(const std::vector<std::string>& options) const {
  std::vector<std::string> arguments{"x509", "-inform", "DER", "-in", CertificatePath()};
  arguments.insert(arguments.end(), options.begin(), options.end());
  return OpenSsl(arguments);
}

std::string KeyforgeTest::AltNames() const {
  const std::string text = CertificateQuery({"-noout", "-ext", "subjectAltName"});
  const size_t start = text.find('\n');
  if (start == std::string::npos) return {};
  std::string names = text.substr(start + 1);
  names.erase(0, names.find_first_not_of(' '));
  names.erase(names.find_last_not_of("\n ") + 1);
  return names;
}

long long KeyforgeTest::ValiditySeconds() const {
  const std::string dates = CertificateQuery({"-noout", "-startdate", "-enddate"});
  const size_t lineEnd = dates.find('\n');
  return ParseOpenSslTime(dates.substr(lineEnd + 1)) - ParseOpenSslTime(dates.substr(0, lineEnd));
}

bool KeyforgeTest::ResultsAbsent() const {
  return !fs::exists(PathOf(CertificatePath())) && !fs::exists(PathOf(KeyPath()));
}

bool KeyforgeTest::IntermediatesAbsent() const {
  return !fs::exists(PathOf(Home() + "/localhost.key")) && !fs::exists(PathOf(Home() + "/localhost.crt"));
}

}  // namespace virk::keyforge::test
